#include "localinput.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

int openLocalInput(AVFormatContext **context, const char *fileName)
{
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int rc = avformat_open_input(context, fileName, nullptr, &options);
    av_dict_free(&options);
    return rc;
}
