<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>Messages</name>
    <message>
        <source>Unable to write to %1: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
    <message>
        <source>unknown reason</source>
        <translation>原因不明</translation>
    </message>
    <message>
        <source>Cannot read %1: %2</source>
        <translation>无法读取 %1：%2</translation>
    </message>
    <message>
        <source>the media framework cannot open it</source>
        <translation>媒体框架无法打开它</translation>
    </message>
    <message>
        <source>it holds neither sound nor picture</source>
        <translation>它既没有声音也没有画面</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>未知错误</translation>
    </message>
    <message>
        <source>The file did not open: no progress for %1 s.</source>
        <translation>文件没有打开：%1 秒内没有进展。</translation>
    </message>
    <message>
        <source>The media took too long to open.</source>
        <translation>媒体打开太久。</translation>
    </message>
    <message>
        <source>The media could not be opened.</source>
        <translation>媒体无法打开。</translation>
    </message>
</context>
</TS>
