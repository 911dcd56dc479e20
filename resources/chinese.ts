<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Velmora</name>
    <message>
        <source>连接
Connect</source>
        <translation>连接</translation>
    </message>
</context>
</TS>
