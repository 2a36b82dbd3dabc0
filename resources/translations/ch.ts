<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>FormFileList</name>
    <message>
        <source>FileList</source>
        <translation>文件列表</translation>
    </message>
    <message>
        <source>Filelist</source>
        <translation>文件列表</translation>
    </message>
    <message>
        <source>Add recordings</source>
        <translation>添加录像</translation>
    </message>
    <message>
        <source>Remove the selected recording from the list</source>
        <translation>从列表中移除所选录像</translation>
    </message>
    <message>
        <source>Remove from list</source>
        <translation>从列表移除</translation>
    </message>
    <message>
        <source>Hide the file list</source>
        <translation>隐藏文件列表</translation>
    </message>
    <message>
        <source>Hide file list</source>
        <translation>隐藏列表</translation>
    </message>
    <message>
        <source>Recordings</source>
        <translation>录像</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>文件名</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>时长</translation>
    </message>
    <message>
        <source>Adding recordings</source>
        <translation>正在添加录像</translation>
    </message>
    <message>
        <source>Adding %1 of %2</source>
        <translation>正在添加第 %1 个，共 %2 个</translation>
    </message>
    <message>
        <source>add file</source>
        <translation>添加文件</translation>
    </message>
    <message>
        <source>GPS track</source>
        <translation>有 GPS 轨迹</translation>
    </message>
    <message>
        <source>No GPS</source>
        <translation>无 GPS</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>所有文件 (*)</translation>
    </message>
    <message>
        <source>Not all of the folder was added: it holds too many files, or folders too deep</source>
        <translation>文件夹未全部添加：其中文件过多，或文件夹层级过深</translation>
    </message>
    <message numerus="yes">
        <source>%n recording(s) added to the list</source>
        <translation>
            <numerusform>已将 %n 个录像添加到列表</numerusform>
        </translation>
    </message>
    <message>
        <source>No recording added to the list</source>
        <translation>没有录像添加到列表</translation>
    </message>
    <message numerus="yes">
        <source>%n could not be played</source>
        <translation>
            <numerusform>%n 个无法播放</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n already listed</source>
        <translation>
            <numerusform>%n 个已在列表中</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1（%2）</translation>
    </message>
    <message>
        <source>, </source>
        <translation>，</translation>
    </message>
    <message>
        <source>%1. %2</source>
        <translation>%1。%2</translation>
    </message>
</context>
<context>
    <name>KeyHelp</name>
    <message>
        <source>Keys</source>
        <translation>按键</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Menu</source>
        <translation>菜单</translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation>最小化</translation>
    </message>
    <message>
        <source>Maximize</source>
        <translation>最大化</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>视频</translation>
    </message>
    <message>
        <source>Position time</source>
        <translation>播放位置时间</translation>
    </message>
    <message>
        <source>Position (Left/Right)</source>
        <translation>播放位置（←/→）</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>播放位置</translation>
    </message>
    <message>
        <source>Total time</source>
        <translation>总时长</translation>
    </message>
    <message>
        <source>File list</source>
        <translation>文件列表</translation>
    </message>
    <message>
        <source>Mute (M)</source>
        <translation>静音（M）</translation>
    </message>
    <message>
        <source>Sound</source>
        <translation>声音</translation>
    </message>
    <message>
        <source>Volume (Up/Down)</source>
        <translation>音量（↑/↓）</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>音量</translation>
    </message>
    <message>
        <source>Back 5 seconds</source>
        <translation>后退 5 秒</translation>
    </message>
    <message>
        <source>Rewind</source>
        <translation>后退</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>上一个</translation>
    </message>
    <message>
        <source>Play (Space)</source>
        <translation>播放（空格键）</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>下一个</translation>
    </message>
    <message>
        <source>Forward 5 seconds</source>
        <translation>前进 5 秒</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>前进</translation>
    </message>
    <message>
        <source>Mirror</source>
        <translation>镜像</translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation>全屏</translation>
    </message>
    <message>
        <source>Position correction</source>
        <translation>位置校正</translation>
    </message>
    <message>
        <source>Map</source>
        <translation>地图</translation>
    </message>
    <message>
        <source>Speed gauge</source>
        <translation>速度表</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>速度</translation>
    </message>
    <message>
        <source>:</source>
        <translation>：</translation>
    </message>
    <message>
        <source>Longitude</source>
        <translation>经度</translation>
    </message>
    <message>
        <source>Latitude</source>
        <translation>纬度</translation>
    </message>
    <message>
        <source>Compass</source>
        <translation>指南针</translation>
    </message>
    <message>
        <source>Speed chart</source>
        <translation>速度曲线</translation>
    </message>
    <message>
        <source>Pause (Space)</source>
        <translation>暂停（空格键）</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>还原</translation>
    </message>
    <message>
        <source>Leave full screen (Esc)</source>
        <translation>退出全屏（Esc）</translation>
    </message>
    <message>
        <source>Unmute (M)</source>
        <translation>取消静音（M）</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>语言</translation>
    </message>
    <message>
        <source>Japan</source>
        <translation>日语</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>单位</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>None of the listed recordings is there any more</source>
        <translation>列表中的录像文件都已不存在</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Leave full screen</source>
        <translation>退出全屏</translation>
    </message>
    <message>
        <source>Playback speed %1×</source>
        <translation>播放速度 %1×</translation>
    </message>
    <message>
        <source>This computer decodes the recording slower than it plays: some pictures are skipped</source>
        <translation>这台电脑解码此录像的速度慢于播放速度：部分画面将被跳过</translation>
    </message>
</context>
<context>
    <name>OutputActions</name>
    <message>
        <source>No picture to save</source>
        <translation>没有可保存的画面</translation>
    </message>
    <message>
        <source>Picture saved to %1</source>
        <translation>画面已保存到 %1</translation>
    </message>
    <message>
        <source>The picture could not be read from the recording</source>
        <translation>无法从录像中读取画面</translation>
    </message>
    <message>
        <source>The picture could not be saved: %1</source>
        <translation>无法保存画面：%1</translation>
    </message>
    <message>
        <source>No GPS track to export</source>
        <translation>没有可导出的 GPS 轨迹</translation>
    </message>
    <message>
        <source>Export track</source>
        <translation>导出轨迹</translation>
    </message>
    <message>
        <source>Track exported to %1</source>
        <translation>轨迹已导出到 %1</translation>
    </message>
    <message>
        <source>The track could not be exported: %1</source>
        <translation>无法导出轨迹：%1</translation>
    </message>
    <message>
        <source>Busy: try again in a moment</source>
        <translation>正在处理，请稍后再试</translation>
    </message>
</context>
<context>
    <name>PlaybackKeys</name>
    <message>
        <source>Play or pause</source>
        <translation>播放或暂停</translation>
    </message>
    <message>
        <source>Back 5 seconds</source>
        <translation>后退 5 秒</translation>
    </message>
    <message>
        <source>Forward 5 seconds</source>
        <translation>前进 5 秒</translation>
    </message>
    <message>
        <source>Previous picture (paused)</source>
        <translation>上一帧（暂停时）</translation>
    </message>
    <message>
        <source>Next picture (paused)</source>
        <translation>下一帧（暂停时）</translation>
    </message>
    <message>
        <source>Slower</source>
        <translation>减速</translation>
    </message>
    <message>
        <source>Faster</source>
        <translation>加速</translation>
    </message>
    <message>
        <source>Louder</source>
        <translation>音量增大</translation>
    </message>
    <message>
        <source>Quieter</source>
        <translation>音量减小</translation>
    </message>
    <message>
        <source>Sound on or off</source>
        <translation>打开或关闭声音</translation>
    </message>
    <message>
        <source>Full screen on or off</source>
        <translation>打开或关闭全屏</translation>
    </message>
    <message>
        <source>Close this list, or leave full screen</source>
        <translation>关闭此列表或退出全屏</translation>
    </message>
    <message>
        <source>Open recordings</source>
        <translation>打开录像</translation>
    </message>
    <message>
        <source>Save the picture (PNG)</source>
        <translation>保存画面（PNG）</translation>
    </message>
    <message>
        <source>Export the track (GPX or CSV)</source>
        <translation>导出轨迹（GPX 或 CSV）</translation>
    </message>
    <message>
        <source>These keys</source>
        <translation>这些按键</translation>
    </message>
</context>
<context>
    <name>SetupMenu</name>
    <message>
        <source>Time zone</source>
        <translation>时区</translation>
    </message>
    <message>
        <source>Camera time</source>
        <translation>摄像机时间</translation>
    </message>
    <message>
        <source>UTC</source>
        <translation>UTC</translation>
    </message>
    <message>
        <source>Show dates and times at:</source>
        <translation>日期和时间显示为：</translation>
    </message>
    <message>
        <source>Other offset (UTC%1)…</source>
        <translation>其他时差（UTC%1）…</translation>
    </message>
    <message>
        <source>Other offset…</source>
        <translation>其他时差…</translation>
    </message>
    <message>
        <source>Play a drive as one</source>
        <translation>连续播放同一行程</translation>
    </message>
    <message>
        <source>Playback speed</source>
        <translation>播放速度</translation>
    </message>
</context>
<context>
    <name>StatusToast</name>
    <message>
        <source>Status</source>
        <translation>状态</translation>
    </message>
</context>
<context>
    <name>TelemetryPanel</name>
    <message>
        <source>No GPS in this recording</source>
        <translation>此录像没有 GPS 数据</translation>
    </message>
</context>
<context>
    <name>WholeFile</name>
    <message>
        <source>another user&apos;s file, in a folder others may write</source>
        <translation>这是其他用户的文件，位于他人也可写入的文件夹中</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>不是普通文件</translation>
    </message>
    <message>
        <source>larger than %1 bytes</source>
        <translation>大于 %1 字节</translation>
    </message>
</context>
<context>
    <name>mymsgwidget</name>
    <message>
        <source>File not exist !</source>
        <translation>文件不存在！</translation>
    </message>
    <message>
        <source>Cannot play %1</source>
        <translation>无法播放 %1</translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>另外 %n 个</numerusform>
        </translation>
    </message>
    <message>
        <source>%1: file not found</source>
        <translation>%1：找不到文件</translation>
    </message>
    <message>
        <source>%1: not a recording</source>
        <translation>%1：不是录像文件</translation>
    </message>
    <message>
        <source>%1: no pictures to show</source>
        <translation>%1：没有视频画面</translation>
    </message>
    <message>
        <source>%1: no decoder for its pictures</source>
        <translation>%1：没有可解码其视频的解码器</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Close this message (Esc)</source>
        <translation>关闭此消息 (Esc)</translation>
    </message>
</context>
</TS>
