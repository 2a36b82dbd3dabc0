#include "recordingprobe.h"

#include "localinput.h"
#include "recordinglog.h"

#include <QFile>
#include <QFileInfo>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

int recordingVideoStream(const AVFormatContext *ic)
{
    int video = -1;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVStream *st = ic->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC))
            video = int(i);
    }
    return video;
}

qint64 recordingStartTime(const AVFormatContext *ic)
{
    if (ic->start_time != AV_NOPTS_VALUE)
        return ic->start_time;
    // Not probed: the earliest start of the streams.
    qint64 start = AV_NOPTS_VALUE;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVStream *st = ic->streams[i];
        if (st->start_time == AV_NOPTS_VALUE)
            continue;
        const qint64 us = av_rescale_q(st->start_time, st->time_base, AV_TIME_BASE_Q);
        start = start == qint64(AV_NOPTS_VALUE) ? us : qMin(start, us);
    }
    return start == qint64(AV_NOPTS_VALUE) ? 0 : start;
}

bool probeRecording(const QString &path, VideoInfo &info)
{
    info = VideoInfo();
    const QByteArray name = QFile::encodeName(path);
    qCDebug(lcRecording) << "file_path:" << name;
    AVFormatContext *ic = nullptr;
    if (openLocalInput(&ic, name.constData()) < 0) {
        qCDebug(lcRecording) << "can't open the file. \n";
        info.problem = QFileInfo::exists(path) ? ProbeProblem::NotARecording : ProbeProblem::Missing;
        return false;
    }
    if (avformat_find_stream_info(ic, nullptr) < 0) {
        qCDebug(lcRecording) << "Could't find stream infomation.";
        avformat_close_input(&ic);
        info.problem = ProbeProblem::NotARecording;
        return false;
    }
    info.duration = ic->duration == AV_NOPTS_VALUE ? 0 : ic->duration;
    const int video = recordingVideoStream(ic);
    // Pictures no decoder here reads cannot be played either.
    const bool decodable = video >= 0 && avcodec_find_decoder(ic->streams[video]->codecpar->codec_id);
    if (decodable) {
        info.width = ic->streams[video]->codecpar->width;
        info.height = ic->streams[video]->codecpar->height;
    } else {
        info.problem = video < 0 ? ProbeProblem::NoPictures : ProbeProblem::NoDecoder;
    }
    avformat_close_input(&ic);
    return decodable;
}
