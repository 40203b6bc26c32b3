<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Messages</name>
    <message>
        <source>the media framework cannot open it</source>
        <translation>the media framework cannot open it</translation>
    </message>
    <message>
        <source>it holds neither sound nor picture</source>
        <translation>it holds neither sound nor picture</translation>
    </message>
    <message>
        <source>Cannot read %1: %2</source>
        <translation>Cannot read %1: %2</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <translation>Unknown error</translation>
    </message>
    <message>
        <source>Unable to write to %1: %2</source>
        <translation>Unable to write to %1: %2</translation>
    </message>
    <message>
        <source>unknown reason</source>
        <translation>unknown reason</translation>
    </message>
    <message>
        <source>The file did not open: no progress for %1 s.</source>
        <translation>The file did not open: no progress for %1 s.</translation>
    </message>
    <message>
        <source>The media took too long to open.</source>
        <translation>The media took too long to open.</translation>
    </message>
    <message>
        <source>The media could not be opened.</source>
        <translation>The media could not be opened.</translation>
    </message>
    <message>
        <source>the file was cut short while playing</source>
        <translation>the file was cut short while playing</translation>
    </message>
    <message>
        <source>已恢复</source>
        <translation>recovered</translation>
    </message>
    <message>
        <source>Cannot play %1: %2</source>
        <translation>Cannot play %1: %2</translation>
    </message>
    <message>
        <source>%1 is not a regular file; the settings are kept in %2</source>
        <translation>%1 is not a regular file; the settings are kept in %2</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>the file is marked read-only</source>
        <translation>the file is marked read-only</translation>
    </message>
    <message>
        <source>a folder</source>
        <translation>a folder</translation>
    </message>
    <message>
        <source>a named pipe</source>
        <translation>a named pipe</translation>
    </message>
    <message>
        <source>a character device</source>
        <translation>a character device</translation>
    </message>
    <message>
        <source>a block device</source>
        <translation>a block device</translation>
    </message>
    <message>
        <source>a socket</source>
        <translation>a socket</translation>
    </message>
    <message>
        <source>a special file</source>
        <translation>a special file</translation>
    </message>
    <message>
        <source>it is %1, not a regular file</source>
        <translation>it is %1, not a regular file</translation>
    </message>
    <message>
        <source>it is larger than %1 MB</source>
        <translation>it is larger than %1 MB</translation>
    </message>
    <message>
        <source>it does not exist</source>
        <translation>it does not exist</translation>
    </message>
    <message>
        <source>a device</source>
        <translation>a device</translation>
    </message>
    <message>
        <source>it cannot be opened</source>
        <translation>it cannot be opened</translation>
    </message>
    <message>
        <source>playback stopped making progress</source>
        <translation>playback stopped making progress</translation>
    </message>
    <message>
        <source>Not enough timers available</source>
        <translation>Not enough timers available</translation>
    </message>
    <message>
        <source>the clock&apos;s port %1 cannot be bound</source>
        <translation>the clock&apos;s port %1 cannot be bound</translation>
    </message>
    <message>
        <source>invalid file name</source>
        <translation>invalid file name</translation>
    </message>
    <message>
        <source>GStreamer&apos;s playbin3 is not installed</source>
        <translation>GStreamer&apos;s playbin3 is not installed</translation>
    </message>
    <message>
        <source>%1 returned no text</source>
        <translation>%1 returned no text</translation>
    </message>
    <message>
        <source>logind answers &quot;%1&quot; to %2</source>
        <translation>logind answers &quot;%1&quot; to %2</translation>
    </message>
    <message>
        <source>the leader fell silent</source>
        <translation>the leader fell silent</translation>
    </message>
    <message>
        <source>it is a link of another user&apos;s</source>
        <translation>it is a link of another user&apos;s</translation>
    </message>
    <message>
        <source>it is a link to a file in another folder</source>
        <translation>it is a link to a file in another folder</translation>
    </message>
    <message>
        <source>a folder has that name</source>
        <translation>a folder has that name</translation>
    </message>
    <message>
        <source>too many wrong PINs: try again in %1 s</source>
        <translation>too many wrong PINs: try again in %1 s</translation>
    </message>
    <message>
        <source>no answer in %1 s</source>
        <translation>no answer in %1 s</translation>
    </message>
    <message>
        <source>the leader closed the connection</source>
        <translation>the leader closed the connection</translation>
    </message>
    <message>
        <source>answer too long</source>
        <translation>answer too long</translation>
    </message>
    <message>
        <source>a frame no leader sends</source>
        <translation>a frame no leader sends</translation>
    </message>
    <message>
        <source>closed by the leader</source>
        <translation>closed by the leader</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>it is not a regular file</translation>
    </message>
</context>
<context>
    <name>TFrmMain</name>
    <message>
        <source>序号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>加</source>
        <translation>+</translation>
    </message>
    <message>
        <source>减</source>
        <translation>−</translation>
    </message>
    <message>
        <source>时间点</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>开播内容</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>镜像</source>
        <translation>Mirror</translation>
    </message>
    <message>
        <source>画面左右翻转</source>
        <translation>Flip the picture left to right</translation>
    </message>
    <message>
        <source>拉伸填满</source>
        <translation>Stretch</translation>
    </message>
    <message>
        <source>画面拉伸到整个屏幕，不留黑边</source>
        <translation>Stretch the picture over the whole screen, no black bars</translation>
    </message>
    <message>
        <source>显示小节</source>
        <translation>Section</translation>
    </message>
    <message>
        <source>在画面角上显示小节和遍数</source>
        <translation>Show the section and pass in a corner of the picture</translation>
    </message>
    <message>
        <source>逐遍加速</source>
        <translation>Speed up</translation>
    </message>
    <message>
        <source>每重放一遍快一档，最快 1.00</source>
        <translation>One step faster on each repetition, up to 1.00</translation>
    </message>
    <message>
        <source>请先勾选“允许编辑”</source>
        <translation>Tick &quot;Edit&quot; first</translation>
    </message>
    <message>
        <source>空格</source>
        <translation>Space</translation>
    </message>
    <message>
        <source>当前位置: Insert N</source>
        <translation>Current position: Insert N</translation>
    </message>
    <message>
        <source>复原播放安排表</source>
        <translation>Restore the schedule</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>后退10秒</source>
        <translation>Back 10 s</translation>
    </message>
    <message>
        <source>前进10秒</source>
        <translation>Forward 10 s</translation>
    </message>
    <message>
        <source>设置播放的速度快慢</source>
        <translation>Playback speed</translation>
    </message>
    <message>
        <source>退出做操</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>选择要播放的视频或音频文件</source>
        <translation>Choose the video or sound file to play</translation>
    </message>
    <message>
        <source>选择音轨</source>
        <translation>Choose the sound track</translation>
    </message>
    <message>
        <source>左声道</source>
        <translation>Left</translation>
    </message>
    <message>
        <source>立体声</source>
        <translation>Stereo</translation>
    </message>
    <message>
        <source>右声道</source>
        <translation>Right</translation>
    </message>
    <message>
        <source>双击设置起播位置</source>
        <translation>Double-click: set the start position</translation>
    </message>
    <message>
        <source>图像缩放</source>
        <translation>Picture zoom</translation>
    </message>
    <message>
        <source>增加一个新的小节</source>
        <translation>Add a section</translation>
    </message>
    <message>
        <source>删除指定的小节</source>
        <translation>Delete the chosen section</translation>
    </message>
    <message>
        <source>保存播放安排表</source>
        <translation>Save the schedule</translation>
    </message>
    <message>
        <source>窗口透明度</source>
        <translation>Window opacity</translation>
    </message>
    <message>
        <source>小节循环时暂停毫秒数</source>
        <translation>Pause before a repetition (ms)</translation>
    </message>
    <message>
        <source>隐藏窗口的时间秒</source>
        <translation>Hide the window after (s)</translation>
    </message>
    <message>
        <source>播完退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>播完关机</source>
        <translation>Shut off</translation>
    </message>
    <message>
        <source>循环播放</source>
        <translation>Loop</translation>
    </message>
    <message>
        <source>隐藏播放窗口</source>
        <translation>Hide video</translation>
    </message>
    <message>
        <source>允许编辑</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>自动播放</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>增加新一节时暂停播放</source>
        <translation>Pause on new section</translation>
    </message>
    <message>
        <source>自动显示在第二显示器</source>
        <translation>On 2nd monitor</translation>
    </message>
    <message>
        <source>提示重放</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>单击“播放”从该节开始，单击“加”“减”改次数</source>
        <translation>&quot;Play&quot; starts a section, &quot;+&quot; &quot;−&quot; set its count</translation>
    </message>
    <message>
        <source>语言在下次启动时生效</source>
        <translation>The language changes at the next start</translation>
    </message>
    <message>
        <source>（无最近文件）</source>
        <translation>(no recent files)</translation>
    </message>
    <message>
        <source>手机遥控</source>
        <translation>Remote</translation>
    </message>
    <message>
        <source>在局域网中用手机浏览器遥控播放</source>
        <translation>Control playback from a phone&apos;s browser on the local network</translation>
    </message>
    <message>
        <source>新PIN</source>
        <translation>New PIN</translation>
    </message>
    <message>
        <source>换一个新的 PIN，已配对的手机须重新配对；两分钟内可以配对</source>
        <translation>Make a new PIN: paired phones must pair again; pairing is open for two minutes</translation>
    </message>
    <message>
        <source>手机遥控无法使用端口 %1：%2</source>
        <translation>The phone remote cannot use port %1: %2</translation>
    </message>
    <message>
        <source>时间线</source>
        <translation>Timeline</translation>
    </message>
    <message>
        <source>显示波形、画面和小节的时间线 (T)</source>
        <translation>Show the timeline of sound, pictures and sections (T)</translation>
    </message>
    <message>
        <source>视频文件</source>
        <translation>Video files</translation>
    </message>
    <message>
        <source>音频文件</source>
        <translation>Audio files</translation>
    </message>
    <message>
        <source>所有媒体文件</source>
        <translation>All media files</translation>
    </message>
    <message>
        <source>跟播中：播放由领播控制</source>
        <translation>Following: the leader controls playback</translation>
    </message>
    <message>
        <source>播放安排表的修改还没有保存。退出前保存吗？</source>
        <translation>The schedule has unsaved changes. Save them before quitting?</translation>
    </message>
    <message>
        <source>勾选“允许编辑”可改时间和内容，双击时间设起点</source>
        <translation>Tick &quot;Edit&quot; to type; double-click a time to start</translation>
    </message>
    <message>
        <source>按 Ctrl+O 或把视频、音频文件拖到这里打开</source>
        <translation>Press Ctrl+O or drop a video or audio file here to open it</translation>
    </message>
</context>
<context>
    <name>TFrmMainSync</name>
    <message>
        <source>领播</source>
        <translation>Lead</translation>
    </message>
    <message>
        <source>让局域网中的其他播放器跟随本机同步播放</source>
        <translation>Let other players on the local network play in step with this one</translation>
    </message>
    <message>
        <source>跟播</source>
        <translation>Follow</translation>
    </message>
    <message>
        <source>跟随另一台播放器（领播）同步播放</source>
        <translation>Play in step with another player (the leader)</translation>
    </message>
    <message>
        <source>退出跟播</source>
        <translation>Stop following</translation>
    </message>
    <message>
        <source>领播地址</source>
        <translation>Leader&apos;s address</translation>
    </message>
    <message>
        <source>无法领播：%1</source>
        <translation>Cannot lead: %1</translation>
    </message>
    <message>
        <source>手机遥控未能开启</source>
        <translation>the phone remote could not be switched on</translation>
    </message>
    <message>
        <source>填写领播的地址（如 192.168.1.5:8765）和 PIN，再按回车</source>
        <translation>Type the leader&apos;s address (such as 192.168.1.5:8765) and PIN, then press Enter</translation>
    </message>
    <message>
        <source>跟播中：领播 %1</source>
        <translation>Following the leader at %1</translation>
    </message>
    <message>
        <source>（没赶上领播的这次开始，稍后已跟上）</source>
        <translation> (too slow for the leader&apos;s last start: joined a moment later)</translation>
    </message>
    <message>
        <source>本机的声音和画面比领播晚（+）或早（-）多少毫秒，用于补偿 HDMI、蓝牙音箱或远处音箱的延迟</source>
        <translation>How many milliseconds later (+) or earlier (-) than the leader this player is heard and seen: for the delay of HDMI, Bluetooth or distant speakers</translation>
    </message>
    <message>
        <source>延迟补偿</source>
        <translation>Latency offset</translation>
    </message>
    <message>
        <source>本机没有领播的媒体文件：%1（%2 字节）</source>
        <translation>This player lacks the leader&apos;s media file: %1 (%2 bytes)</translation>
    </message>
    <message>
        <source>与领播断开：本节播完后暂停，领播恢复后自动继续</source>
        <translation>Leader lost: pausing at the end of this section, following again once the leader is back</translation>
    </message>
    <message>
        <source>领播已结束</source>
        <translation>The leader has ended</translation>
    </message>
    <message>
        <source>跟播出错：无法播放领播的媒体文件</source>
        <translation>Following failed: the leader&apos;s media file cannot be played</translation>
    </message>
    <message>
        <source>正在与领播同步时钟…</source>
        <translation>Setting the clock by the leader&apos;s…</translation>
    </message>
    <message>
        <source>正在连接领播 %1…</source>
        <translation>Connecting to the leader at %1…</translation>
    </message>
    <message>
        <source>无法连接领播 %1：%2</source>
        <translation>Cannot reach the leader at %1: %2</translation>
    </message>
    <message>
        <source>领播 %1 要求转到别的地址：已拒绝，请核对领播地址</source>
        <translation>The leader at %1 sent the connection elsewhere: refused; check the leader&apos;s address</translation>
    </message>
    <message>
        <source>领播 %1 没有应答：%2 秒后重试</source>
        <translation>No answer from the leader at %1: trying again in %2 s</translation>
    </message>
    <message>
        <source>领播 %1 没有应答：正在重试…</source>
        <translation>No answer from the leader at %1: trying again…</translation>
    </message>
    <message>
        <source>收不到领播的时钟：领播电脑须放行 UDP 端口 %1</source>
        <translation>No clock from the leader: its firewall must let UDP port %1 through</translation>
    </message>
</context>
<context>
    <name>TFrmPlay</name>
    <message>
        <source>即将重放 请准备</source>
        <translation>Again, get set</translation>
    </message>
</context>
<context>
    <name>TRemoteServer</name>
    <message>
        <source>zh</source>
        <comment>the language code of the phone page in this catalogue</comment>
        <translation>en</translation>
    </message>
</context>
<context>
    <name>TTimelineWindow</name>
    <message>
        <source>时间线</source>
        <translation>Timeline</translation>
    </message>
</context>
</TS>
