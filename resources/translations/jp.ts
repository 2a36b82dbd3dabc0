<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja" sourcelanguage="en">
<context>
    <name>FormFileList</name>
    <message>
        <source>FileList</source>
        <translation>ファイルリスト</translation>
    </message>
    <message>
        <source>Filelist</source>
        <translation>ファイルリスト</translation>
    </message>
    <message>
        <source>Add recordings</source>
        <translation>録画を追加</translation>
    </message>
    <message>
        <source>Remove the selected recording from the list</source>
        <translation>選択した録画をリストから削除</translation>
    </message>
    <message>
        <source>Remove from list</source>
        <translation>リストから削除</translation>
    </message>
    <message>
        <source>Hide the file list</source>
        <translation>ファイルリストを隠す</translation>
    </message>
    <message>
        <source>Hide file list</source>
        <translation>リストを隠す</translation>
    </message>
    <message>
        <source>Recordings</source>
        <translation>録画</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>ファイル名</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>長さ</translation>
    </message>
    <message>
        <source>Adding recordings</source>
        <translation>録画を追加中</translation>
    </message>
    <message>
        <source>Adding %1 of %2</source>
        <translation>%2 件中 %1 件目を追加中</translation>
    </message>
    <message>
        <source>add file</source>
        <translation>ファイルを追加</translation>
    </message>
    <message>
        <source>GPS track</source>
        <translation>GPS 軌跡あり</translation>
    </message>
    <message>
        <source>No GPS</source>
        <translation>GPS なし</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>すべてのファイル (*)</translation>
    </message>
    <message>
        <source>Not all of the folder was added: it holds too many files, or folders too deep</source>
        <translation>フォルダの一部は追加されませんでした: ファイルが多すぎるか、フォルダの階層が深すぎます</translation>
    </message>
    <message numerus="yes">
        <source>%n recording(s) added to the list</source>
        <translation>
            <numerusform>%n 件の録画をリストに追加しました</numerusform>
        </translation>
    </message>
    <message>
        <source>No recording added to the list</source>
        <translation>リストに追加した録画はありません</translation>
    </message>
    <message numerus="yes">
        <source>%n could not be played</source>
        <translation>
            <numerusform>%n 件は再生できません</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n already listed</source>
        <translation>
            <numerusform>%n 件は追加済み</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1（%2）</translation>
    </message>
    <message>
        <source>, </source>
        <translation>、</translation>
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
        <translation>キー</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Menu</source>
        <translation>メニュー</translation>
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
        <translation>閉じる</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>映像</translation>
    </message>
    <message>
        <source>Position time</source>
        <translation>再生位置の時間</translation>
    </message>
    <message>
        <source>Position (Left/Right)</source>
        <translation>再生位置（←/→）</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>再生位置</translation>
    </message>
    <message>
        <source>Total time</source>
        <translation>総再生時間</translation>
    </message>
    <message>
        <source>File list</source>
        <translation>ファイルリスト</translation>
    </message>
    <message>
        <source>Mute (M)</source>
        <translation>ミュート（M）</translation>
    </message>
    <message>
        <source>Sound</source>
        <translation>サウンド</translation>
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
        <translation>5 秒戻る</translation>
    </message>
    <message>
        <source>Rewind</source>
        <translation>巻き戻し</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>前へ</translation>
    </message>
    <message>
        <source>Play (Space)</source>
        <translation>再生（Space）</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>再生</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>次へ</translation>
    </message>
    <message>
        <source>Forward 5 seconds</source>
        <translation>5 秒進む</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>早送り</translation>
    </message>
    <message>
        <source>Mirror</source>
        <translation>ミラー</translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation>全画面</translation>
    </message>
    <message>
        <source>Position correction</source>
        <translation>位置補正</translation>
    </message>
    <message>
        <source>Map</source>
        <translation>地図</translation>
    </message>
    <message>
        <source>Speed gauge</source>
        <translation>スピードメーター</translation>
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
        <translation>経度</translation>
    </message>
    <message>
        <source>Latitude</source>
        <translation>緯度</translation>
    </message>
    <message>
        <source>Compass</source>
        <translation>コンパス</translation>
    </message>
    <message>
        <source>Speed chart</source>
        <translation>速度グラフ</translation>
    </message>
    <message>
        <source>Pause (Space)</source>
        <translation>一時停止（Space）</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>元に戻す</translation>
    </message>
    <message>
        <source>Leave full screen (Esc)</source>
        <translation>全画面を終了（Esc）</translation>
    </message>
    <message>
        <source>Unmute (M)</source>
        <translation>ミュート解除（M）</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>設定</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>言語</translation>
    </message>
    <message>
        <source>Japan</source>
        <translation>日本語</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>単位</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>時間</translation>
    </message>
    <message>
        <source>None of the listed recordings is there any more</source>
        <translation>リストの録画ファイルがどれも見つかりません</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>一時停止</translation>
    </message>
    <message>
        <source>Leave full screen</source>
        <translation>全画面を終了</translation>
    </message>
    <message>
        <source>Playback speed %1×</source>
        <translation>再生速度 %1×</translation>
    </message>
    <message>
        <source>This computer decodes the recording slower than it plays: some pictures are skipped</source>
        <translation>このコンピューターではこの録画の再生にデコードが追いつきません：一部の画面をスキップします</translation>
    </message>
</context>
<context>
    <name>OutputActions</name>
    <message>
        <source>No picture to save</source>
        <translation>保存できる画像がありません</translation>
    </message>
    <message>
        <source>Picture saved to %1</source>
        <translation>画像を %1 に保存しました</translation>
    </message>
    <message>
        <source>The picture could not be read from the recording</source>
        <translation>録画から画像を読み取れませんでした</translation>
    </message>
    <message>
        <source>The picture could not be saved: %1</source>
        <translation>画像を保存できませんでした: %1</translation>
    </message>
    <message>
        <source>No GPS track to export</source>
        <translation>書き出せる GPS 軌跡がありません</translation>
    </message>
    <message>
        <source>Export track</source>
        <translation>軌跡を書き出す</translation>
    </message>
    <message>
        <source>Track exported to %1</source>
        <translation>軌跡を %1 に書き出しました</translation>
    </message>
    <message>
        <source>The track could not be exported: %1</source>
        <translation>軌跡を書き出せませんでした: %1</translation>
    </message>
    <message>
        <source>Busy: try again in a moment</source>
        <translation>処理中です。しばらくしてからもう一度お試しください</translation>
    </message>
</context>
<context>
    <name>PlaybackKeys</name>
    <message>
        <source>Play or pause</source>
        <translation>再生・一時停止</translation>
    </message>
    <message>
        <source>Back 5 seconds</source>
        <translation>5 秒戻る</translation>
    </message>
    <message>
        <source>Forward 5 seconds</source>
        <translation>5 秒進む</translation>
    </message>
    <message>
        <source>Previous picture (paused)</source>
        <translation>前のコマ（一時停止中）</translation>
    </message>
    <message>
        <source>Next picture (paused)</source>
        <translation>次のコマ（一時停止中）</translation>
    </message>
    <message>
        <source>Slower</source>
        <translation>遅く</translation>
    </message>
    <message>
        <source>Faster</source>
        <translation>速く</translation>
    </message>
    <message>
        <source>Louder</source>
        <translation>音量を上げる</translation>
    </message>
    <message>
        <source>Quieter</source>
        <translation>音量を下げる</translation>
    </message>
    <message>
        <source>Sound on or off</source>
        <translation>音声のオン・オフ</translation>
    </message>
    <message>
        <source>Full screen on or off</source>
        <translation>全画面のオン・オフ</translation>
    </message>
    <message>
        <source>Close this list, or leave full screen</source>
        <translation>この一覧を閉じる・全画面を終了</translation>
    </message>
    <message>
        <source>Open recordings</source>
        <translation>録画を開く</translation>
    </message>
    <message>
        <source>Save the picture (PNG)</source>
        <translation>画面を保存（PNG）</translation>
    </message>
    <message>
        <source>Export the track (GPX or CSV)</source>
        <translation>軌跡を書き出す（GPX または CSV）</translation>
    </message>
    <message>
        <source>These keys</source>
        <translation>このキー一覧</translation>
    </message>
</context>
<context>
    <name>SetupMenu</name>
    <message>
        <source>Time zone</source>
        <translation>タイムゾーン</translation>
    </message>
    <message>
        <source>Camera time</source>
        <translation>カメラの時刻</translation>
    </message>
    <message>
        <source>UTC</source>
        <translation>UTC</translation>
    </message>
    <message>
        <source>Show dates and times at:</source>
        <translation>日付と時刻の表示:</translation>
    </message>
    <message>
        <source>Other offset (UTC%1)…</source>
        <translation>その他の時差 (UTC%1)…</translation>
    </message>
    <message>
        <source>Other offset…</source>
        <translation>その他の時差…</translation>
    </message>
    <message>
        <source>Play a drive as one</source>
        <translation>一続きの走行として再生</translation>
    </message>
    <message>
        <source>Playback speed</source>
        <translation>再生速度</translation>
    </message>
</context>
<context>
    <name>StatusToast</name>
    <message>
        <source>Status</source>
        <translation>状態</translation>
    </message>
</context>
<context>
    <name>TelemetryPanel</name>
    <message>
        <source>No GPS in this recording</source>
        <translation>この録画には GPS がありません</translation>
    </message>
</context>
<context>
    <name>WholeFile</name>
    <message>
        <source>another user&apos;s file, in a folder others may write</source>
        <translation>他のユーザーも書き込めるフォルダーにある、別のユーザーのファイルです</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>通常のファイルではありません</translation>
    </message>
    <message>
        <source>larger than %1 bytes</source>
        <translation>%1 バイトを超えています</translation>
    </message>
</context>
<context>
    <name>mymsgwidget</name>
    <message>
        <source>File not exist !</source>
        <translation>ファイルが存在しません！</translation>
    </message>
    <message>
        <source>Cannot play %1</source>
        <translation>%1 を再生できません</translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>他 %n 件</numerusform>
        </translation>
    </message>
    <message>
        <source>%1: file not found</source>
        <translation>%1: ファイルが見つかりません</translation>
    </message>
    <message>
        <source>%1: not a recording</source>
        <translation>%1: 録画ファイルではありません</translation>
    </message>
    <message>
        <source>%1: no pictures to show</source>
        <translation>%1: 映像がありません</translation>
    </message>
    <message>
        <source>%1: no decoder for its pictures</source>
        <translation>%1: 映像を再生できるデコーダーがありません</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Close this message (Esc)</source>
        <translation>このメッセージを閉じる (Esc)</translation>
    </message>
</context>
</TS>
