<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>FormFileList</name>
    <message>
        <source>FileList</source>
        <translation>FileList</translation>
    </message>
    <message>
        <source>Filelist</source>
        <translation>Filelist</translation>
    </message>
    <message>
        <source>Add recordings</source>
        <translation>Add recordings</translation>
    </message>
    <message>
        <source>Remove the selected recording from the list</source>
        <translation>Remove the selected recording from the list</translation>
    </message>
    <message>
        <source>Remove from list</source>
        <translation>Remove from list</translation>
    </message>
    <message>
        <source>Hide the file list</source>
        <translation>Hide the file list</translation>
    </message>
    <message>
        <source>Hide file list</source>
        <translation>Hide file list</translation>
    </message>
    <message>
        <source>Recordings</source>
        <translation>Recordings</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>File Name</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>Adding recordings</source>
        <translation>Adding recordings</translation>
    </message>
    <message>
        <source>Adding %1 of %2</source>
        <translation>Adding %1 of %2</translation>
    </message>
    <message>
        <source>add file</source>
        <translation>add file</translation>
    </message>
    <message>
        <source>GPS track</source>
        <translation>GPS track</translation>
    </message>
    <message>
        <source>No GPS</source>
        <translation>No GPS</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>Not all of the folder was added: it holds too many files, or folders too deep</source>
        <translation>Not all of the folder was added: it holds too many files, or folders too deep</translation>
    </message>
    <message numerus="yes">
        <source>%n recording(s) added to the list</source>
        <translation>
            <numerusform>%n recording added to the list</numerusform>
            <numerusform>%n recordings added to the list</numerusform>
        </translation>
    </message>
    <message>
        <source>No recording added to the list</source>
        <translation>No recording added to the list</translation>
    </message>
    <message numerus="yes">
        <source>%n could not be played</source>
        <translation>
            <numerusform>%n could not be played</numerusform>
            <numerusform>%n could not be played</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n already listed</source>
        <translation>
            <numerusform>%n already listed</numerusform>
            <numerusform>%n already listed</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>, </source>
        <translation>, </translation>
    </message>
    <message>
        <source>%1. %2</source>
        <translation>%1. %2</translation>
    </message>
</context>
<context>
    <name>KeyHelp</name>
    <message>
        <source>Keys</source>
        <translation>Keys</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Menu</source>
        <translation>Menu</translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation>Minimize</translation>
    </message>
    <message>
        <source>Maximize</source>
        <translation>Maximize</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>Video</translation>
    </message>
    <message>
        <source>Position time</source>
        <translation>Position time</translation>
    </message>
    <message>
        <source>Position (Left/Right)</source>
        <translation>Position (Left/Right)</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>Total time</source>
        <translation>Total time</translation>
    </message>
    <message>
        <source>File list</source>
        <translation>File list</translation>
    </message>
    <message>
        <source>Mute (M)</source>
        <translation>Mute (M)</translation>
    </message>
    <message>
        <source>Sound</source>
        <translation>Sound</translation>
    </message>
    <message>
        <source>Volume (Up/Down)</source>
        <translation>Volume (Up/Down)</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>Back 5 seconds</source>
        <translation>Back 5 seconds</translation>
    </message>
    <message>
        <source>Rewind</source>
        <translation>Rewind</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>Previous</translation>
    </message>
    <message>
        <source>Play (Space)</source>
        <translation>Play (Space)</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>Forward 5 seconds</source>
        <translation>Forward 5 seconds</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>Forward</translation>
    </message>
    <message>
        <source>Mirror</source>
        <translation>Mirror</translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation>Full screen</translation>
    </message>
    <message>
        <source>Position correction</source>
        <translation>Position correction</translation>
    </message>
    <message>
        <source>Map</source>
        <translation>Map</translation>
    </message>
    <message>
        <source>Speed gauge</source>
        <translation>Speed gauge</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>:</source>
        <translation>:</translation>
    </message>
    <message>
        <source>Longitude</source>
        <translation>Longitude</translation>
    </message>
    <message>
        <source>Latitude</source>
        <translation>Latitude</translation>
    </message>
    <message>
        <source>Compass</source>
        <translation>Compass</translation>
    </message>
    <message>
        <source>Speed chart</source>
        <translation>Speed chart</translation>
    </message>
    <message>
        <source>Pause (Space)</source>
        <translation>Pause (Space)</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>Leave full screen (Esc)</source>
        <translation>Leave full screen (Esc)</translation>
    </message>
    <message>
        <source>Unmute (M)</source>
        <translation>Unmute (M)</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>Setup</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Japan</source>
        <translation>Japan</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>None of the listed recordings is there any more</source>
        <translation>None of the listed recordings is there any more</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Leave full screen</source>
        <translation>Leave full screen</translation>
    </message>
    <message>
        <source>Playback speed %1×</source>
        <translation>Playback speed %1×</translation>
    </message>
    <message>
        <source>This computer decodes the recording slower than it plays: some pictures are skipped</source>
        <translation>This computer decodes the recording slower than it plays: some pictures are skipped</translation>
    </message>
</context>
<context>
    <name>OutputActions</name>
    <message>
        <source>No picture to save</source>
        <translation>No picture to save</translation>
    </message>
    <message>
        <source>Picture saved to %1</source>
        <translation>Picture saved to %1</translation>
    </message>
    <message>
        <source>The picture could not be read from the recording</source>
        <translation>The picture could not be read from the recording</translation>
    </message>
    <message>
        <source>The picture could not be saved: %1</source>
        <translation>The picture could not be saved: %1</translation>
    </message>
    <message>
        <source>No GPS track to export</source>
        <translation>No GPS track to export</translation>
    </message>
    <message>
        <source>Export track</source>
        <translation>Export track</translation>
    </message>
    <message>
        <source>Track exported to %1</source>
        <translation>Track exported to %1</translation>
    </message>
    <message>
        <source>The track could not be exported: %1</source>
        <translation>The track could not be exported: %1</translation>
    </message>
    <message>
        <source>Busy: try again in a moment</source>
        <translation>Busy: try again in a moment</translation>
    </message>
</context>
<context>
    <name>PlaybackKeys</name>
    <message>
        <source>Play or pause</source>
        <translation>Play or pause</translation>
    </message>
    <message>
        <source>Back 5 seconds</source>
        <translation>Back 5 seconds</translation>
    </message>
    <message>
        <source>Forward 5 seconds</source>
        <translation>Forward 5 seconds</translation>
    </message>
    <message>
        <source>Previous picture (paused)</source>
        <translation>Previous picture (paused)</translation>
    </message>
    <message>
        <source>Next picture (paused)</source>
        <translation>Next picture (paused)</translation>
    </message>
    <message>
        <source>Slower</source>
        <translation>Slower</translation>
    </message>
    <message>
        <source>Faster</source>
        <translation>Faster</translation>
    </message>
    <message>
        <source>Louder</source>
        <translation>Louder</translation>
    </message>
    <message>
        <source>Quieter</source>
        <translation>Quieter</translation>
    </message>
    <message>
        <source>Sound on or off</source>
        <translation>Sound on or off</translation>
    </message>
    <message>
        <source>Full screen on or off</source>
        <translation>Full screen on or off</translation>
    </message>
    <message>
        <source>Close this list, or leave full screen</source>
        <translation>Close this list, or leave full screen</translation>
    </message>
    <message>
        <source>Open recordings</source>
        <translation>Open recordings</translation>
    </message>
    <message>
        <source>Save the picture (PNG)</source>
        <translation>Save the picture (PNG)</translation>
    </message>
    <message>
        <source>Export the track (GPX or CSV)</source>
        <translation>Export the track (GPX or CSV)</translation>
    </message>
    <message>
        <source>These keys</source>
        <translation>These keys</translation>
    </message>
</context>
<context>
    <name>SetupMenu</name>
    <message>
        <source>Time zone</source>
        <translation>Time zone</translation>
    </message>
    <message>
        <source>Camera time</source>
        <translation>Camera time</translation>
    </message>
    <message>
        <source>UTC</source>
        <translation>UTC</translation>
    </message>
    <message>
        <source>Show dates and times at:</source>
        <translation>Show dates and times at:</translation>
    </message>
    <message>
        <source>Other offset (UTC%1)…</source>
        <translation>Other offset (UTC%1)…</translation>
    </message>
    <message>
        <source>Other offset…</source>
        <translation>Other offset…</translation>
    </message>
    <message>
        <source>Play a drive as one</source>
        <translation>Play a drive as one</translation>
    </message>
    <message>
        <source>Playback speed</source>
        <translation>Playback speed</translation>
    </message>
</context>
<context>
    <name>StatusToast</name>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
</context>
<context>
    <name>TelemetryPanel</name>
    <message>
        <source>No GPS in this recording</source>
        <translation>No GPS in this recording</translation>
    </message>
</context>
<context>
    <name>WholeFile</name>
    <message>
        <source>another user&apos;s file, in a folder others may write</source>
        <translation>another user&apos;s file, in a folder others may write</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>larger than %1 bytes</source>
        <translation>larger than %1 bytes</translation>
    </message>
</context>
<context>
    <name>mymsgwidget</name>
    <message>
        <source>File not exist !</source>
        <translation>File not exist !</translation>
    </message>
    <message>
        <source>Cannot play %1</source>
        <translation>Cannot play %1</translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>and %n more</numerusform>
            <numerusform>and %n more</numerusform>
        </translation>
    </message>
    <message>
        <source>%1: file not found</source>
        <translation>%1: file not found</translation>
    </message>
    <message>
        <source>%1: not a recording</source>
        <translation>%1: not a recording</translation>
    </message>
    <message>
        <source>%1: no pictures to show</source>
        <translation>%1: no pictures to show</translation>
    </message>
    <message>
        <source>%1: no decoder for its pictures</source>
        <translation>%1: no decoder for its pictures</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Close this message (Esc)</source>
        <translation>Close this message (Esc)</translation>
    </message>
</context>
</TS>
