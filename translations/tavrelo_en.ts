<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>TFrmPlay</name>
    <message>
        <source>即将重放 请准备</source>
        <translation>Again, get set</translation>
    </message>
</context>
</TS>
