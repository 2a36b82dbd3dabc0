#include "localinput.h"

#include "pathkind.h"

#include <QFile>

#include <cerrno>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/dict.h>
}

namespace {

// The demuxers a recording may need: QuickTime/MP4 (one demuxer under all
// these names), MPEG-TS, and what the file list offers besides (WAV, AVI,
// FLV, RealMedia). None of them opens another file; playlists (hls, concat,
// ...) would play whatever local file they list, whatever their own name.
const char kRecordingFormats[] = "mov,mp4,m4a,3gp,3g2,mj2,mpegts,wav,avi,flv,rm";

} // namespace

int openLocalInput(AVFormatContext **context, const char *fileName)
{
    // A FIFO, a device or a socket would hold the open, or never end.
    // What cannot be looked at, avformat_open_input names the fault of.
    const PathKind kind = pathKind(QFile::decodeName(fileName));
    if (kind == PathKind::Folder || kind == PathKind::Other) {
        avformat_free_context(*context);
        *context = nullptr;
        return AVERROR(kind == PathKind::Folder ? EISDIR : EINVAL);
    }
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", kRecordingFormats, 0);
    const int rc = avformat_open_input(context, fileName, nullptr, &options);
    av_dict_free(&options);
    return rc;
}

bool isRecordingFormat(const char *formatName)
{
    return formatName && av_match_list(formatName, kRecordingFormats, ',') > 0;
}
