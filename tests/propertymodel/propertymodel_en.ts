<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>PropertyItemModel</name>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>值</source>
        <translation>Value</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>名称</source>
        <translation>Wrong context</translation>
    </message>
    <message>
        <source>值</source>
        <translation>Wrong context</translation>
    </message>
</context>
</TS>
