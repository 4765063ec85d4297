<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Profile</name>
    <message>
        <source>不凝</source>
        <translation>no clot</translation>
    </message>
    <message>
        <source>↓</source>
        <translation>LOW</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>结果为空</source>
        <translation>empty result</translation>
    </message>
</context>
</TS>
