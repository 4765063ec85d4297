<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>UpdateProfile</name>
    <message>
        <source>梯度1</source>
        <translation>Gradient &apos;%2&apos;</translation>
    </message>
    <message>
        <source>样本类型</source>
        <translation>Type&apos;); delete from user; --</translation>
    </message>
    <message>
        <source>住院号</source>
        <translation>Patient&apos;s No.</translation>
    </message>
</context>
</TS>
