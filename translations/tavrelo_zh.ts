<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>Messages</name>
    <message>
        <source>no answer in %1 s</source>
        <translation>%1 秒内没有应答</translation>
    </message>
    <message>
        <source>the leader closed the connection</source>
        <translation>领播断开了连接</translation>
    </message>
    <message>
        <source>answer too long</source>
        <translation>应答过长</translation>
    </message>
    <message>
        <source>a frame no leader sends</source>
        <translation>收到领播不会发送的数据</translation>
    </message>
    <message>
        <source>closed by the leader</source>
        <translation>被领播关闭</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>不是普通文件</translation>
    </message>
    <message>
        <source>too many wrong PINs: try again in %1 s</source>
        <translation>PIN 错的次数太多，请 %1 秒后再试</translation>
    </message>
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
    <message>
        <source>Cannot play %1: %2</source>
        <translation>无法播放 %1：%2</translation>
    </message>
    <message>
        <source>it does not exist</source>
        <translation>文件不存在</translation>
    </message>
    <message>
        <source>it is %1, not a regular file</source>
        <translation>它是%1，不是普通文件</translation>
    </message>
    <message>
        <source>a folder</source>
        <translation>文件夹</translation>
    </message>
    <message>
        <source>a named pipe</source>
        <translation>命名管道</translation>
    </message>
    <message>
        <source>a character device</source>
        <translation>字符设备</translation>
    </message>
    <message>
        <source>a block device</source>
        <translation>块设备</translation>
    </message>
    <message>
        <source>a socket</source>
        <translation>套接字</translation>
    </message>
    <message>
        <source>a special file</source>
        <translation>特殊文件</translation>
    </message>
    <message>
        <source>a device</source>
        <translation>设备</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>不是普通文件</translation>
    </message>
    <message>
        <source>the file is marked read-only</source>
        <translation>文件设为只读</translation>
    </message>
    <message>
        <source>it is larger than %1 MB</source>
        <translation>文件大于 %1 MB</translation>
    </message>
    <message>
        <source>%1 is not a regular file; the settings are kept in %2</source>
        <translation>%1 不是普通文件；设置保存在 %2</translation>
    </message>
    <message>
        <source>the file was cut short while playing</source>
        <translation>文件在播放时被截短</translation>
    </message>
    <message>
        <source>it cannot be opened</source>
        <translation>无法打开</translation>
    </message>
    <message>
        <source>playback stopped making progress</source>
        <translation>播放停滞不前</translation>
    </message>
    <message>
        <source>Not enough timers available</source>
        <translation>可用的定时器不够</translation>
    </message>
    <message>
        <source>the clock&apos;s port %1 cannot be bound</source>
        <translation>时钟端口 %1 无法占用</translation>
    </message>
    <message>
        <source>invalid file name</source>
        <translation>文件名无效</translation>
    </message>
    <message>
        <source>GStreamer&apos;s playbin3 is not installed</source>
        <translation>没有安装 GStreamer 的 playbin3</translation>
    </message>
    <message>
        <source>%1 returned no text</source>
        <translation>%1 没有返回文字</translation>
    </message>
    <message>
        <source>logind answers &quot;%1&quot; to %2</source>
        <translation>logind 对 %2 的回答是“%1”</translation>
    </message>
    <message>
        <source>the leader fell silent</source>
        <translation>领播没有回音</translation>
    </message>
    <message>
        <source>it is a link of another user&apos;s</source>
        <translation>它是别的用户的链接</translation>
    </message>
    <message>
        <source>it is a link to a file in another folder</source>
        <translation>它是指向另一个文件夹中文件的链接</translation>
    </message>
    <message>
        <source>a folder has that name</source>
        <translation>有同名的文件夹</translation>
    </message>
</context>
</TS>
