<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>UpdateProfile</name>
    <message>
        <source>梯度1</source>
        <translation>Gradient 1</translation>
    </message>
    <message>
        <source>样本类型</source>
        <translation>Sample type</translation>
    </message>
</context>
</TS>
