<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Profile</name>
    <message>
        <source>无法加载配置文件 %1
%2</source>
        <translation>Cannot load the configuration file %1
%2</translation>
    </message>
    <message>
        <source>错误的配置文件 %1</source>
        <translation>Wrong configuration file %1</translation>
    </message>
    <message>
        <source>无法打开数据库文件 %1</source>
        <translation>Cannot open the database file %1</translation>
    </message>
    <message>
        <source>错误的数据库文件 %1</source>
        <translation>Wrong database file %1</translation>
    </message>
</context>
</TS>
