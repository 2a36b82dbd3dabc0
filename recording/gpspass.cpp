#include "gpspass.h"

#include "gpspayload.h"
#include "mp4gpsreader.h"
#include "recordinglog.h"

#include <QFile>
#include <QFileInfo>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

// Owns one demuxer context and one packet for the length of a pass.
class Demuxer
{
public:
    ~Demuxer()
    {
        av_packet_free(&mPacket);
        avformat_close_input(&mContext);
    }

    GpsPassResult::Status open(const QString &path, QString *error)
    {
        const QByteArray name = QFile::encodeName(path);
        int rc = avformat_open_input(&mContext, name.constData(), nullptr, nullptr);
        if (rc < 0) {
            qCDebug(lcRecording) << "can't open the file.";
            *error = errorText(rc);
            return GpsPassResult::OpenFailed;
        }
        rc = avformat_find_stream_info(mContext, nullptr);
        if (rc < 0) {
            qCDebug(lcRecording) << "Could't find stream infomation.";
            *error = errorText(rc);
            return GpsPassResult::StreamInfoFailed;
        }
        mPacket = av_packet_alloc();
        if (!mPacket) {
            *error = errorText(AVERROR(ENOMEM));
            return GpsPassResult::OpenFailed;
        }
        return GpsPassResult::Ok;
    }

    AVFormatContext *context() const { return mContext; }
    AVPacket *packet() const { return mPacket; }

    // Only the GPS stream is wanted: the demuxer then skips the rest
    // without assembling or copying it.
    void discardAllBut(int streamIndex)
    {
        for (unsigned i = 0; i < mContext->nb_streams; ++i)
            mContext->streams[i]->discard = int(i) == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }

    static QString errorText(int rc)
    {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(rc, text, sizeof text);
        return QString::fromLocal8Bit(text);
    }

private:
    AVFormatContext *mContext = nullptr;
    AVPacket *mPacket = nullptr;
};

int findStreamByPid(const AVFormatContext *ic, int pid)
{
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        if (ic->streams[i]->id == pid)
            return int(i);
    }
    return -1;
}

// Hands every packet of streamIndex to the decoder, up to the end of the
// file or until the track is full and nothing more can be learnt from it.
void decodeGpsStream(Demuxer &demuxer, int streamIndex, GpsPayloadVariant variant,
                     GpsTrack &track, qint16 &gpsVersion)
{
    demuxer.discardAllBut(streamIndex);
    AVPacket *packet = demuxer.packet();
    int dropped = 0;
    while (av_read_frame(demuxer.context(), packet) >= 0) {
        if (packet->stream_index == streamIndex && packet->data) {
            if (!decodeGpsPayload(packet->data, size_t(packet->size), variant, track, gpsVersion))
                ++dropped;
        }
        av_packet_unref(packet);
        const bool versionKnown = variant != GpsPayloadVariant::TransportStream || gpsVersion != 0;
        if (track.count >= kGpsTrackCapacity && versionKnown)
            break;
    }
    if (dropped > 0)
        qCDebug(lcRecording) << "gps payloads dropped:" << dropped;
}

GpsPassResult tsPass(const QString &path, GpsTrack &track, qint16 &gpsVersion)
{
    GpsPassResult result;
    Demuxer demuxer;
    result.status = demuxer.open(path, &result.error);
    if (result.status != GpsPassResult::Ok)
        return result;
    AVFormatContext *ic = demuxer.context();

    int videoStream = -1;
    int audioStream = -1;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVMediaType type = ic->streams[i]->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO)
            videoStream = int(i);
        else if (type == AVMEDIA_TYPE_AUDIO && audioStream < 0)
            audioStream = int(i);
    }
    int gpsStream = findStreamByPid(ic, kGpsStreamPid);

    if (gpsStream < 0) {
        // Streams of a transport stream can appear only while reading.
        qCDebug(lcRecording) << "not find gps stream infomation,find gps stream again";
        AVPacket *packet = demuxer.packet();
        bool readAny = false;
        while (av_read_frame(ic, packet) >= 0) {
            readAny = true;
            const int index = packet->stream_index;
            av_packet_unref(packet);
            if (index != videoStream && index != audioStream) {
                qCDebug(lcRecording) << "find gps stream index1:" << index;
                break;
            }
        }
        gpsStream = findStreamByPid(ic, kGpsStreamPid);
        // Start over so that no GPS packet read while looking is lost.
        if (gpsStream > 0 && readAny)
            av_seek_frame(ic, -1, 0, AVSEEK_FLAG_BYTE);
    }
    result.gpsStream = gpsStream;

    // Index 0 is never taken for GPS; -1 means there is nothing to read.
    if (gpsStream <= 0)
        return result;

    decodeGpsStream(demuxer, gpsStream, GpsPayloadVariant::TransportStream, track, gpsVersion);
    return result;
}

void mp4DataTrackPass(const QString &path, GpsTrack &track, qint16 &gpsVersion, GpsPassResult &result)
{
    qCDebug(lcRecording) << "hisi mp4";
    Demuxer demuxer;
    result.status = demuxer.open(path, &result.error);
    if (result.status != GpsPassResult::Ok)
        return;
    AVFormatContext *ic = demuxer.context();

    int dataStream = -1;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        if (ic->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_DATA) {
            dataStream = int(i);
            break;
        }
    }
    result.gpsStream = dataStream;
    if (dataStream <= 0)
        return;

    decodeGpsStream(demuxer, dataStream, GpsPayloadVariant::Mp4DataTrack, track, gpsVersion);
}

bool isTs(const QString &suffix)
{
    return suffix == QLatin1String("TS") || suffix == QLatin1String("ts");
}

bool isMp4(const QString &suffix)
{
    return suffix == QLatin1String("MP4") || suffix == QLatin1String("mp4");
}

} // namespace

bool runGpsPassHeader(const QString &path, GpsTrack &track, qint16 &gpsVersion, GpsPassResult &result)
{
    result = GpsPassResult();
    track.reset();
    // Cleared for every file, so an MP4 never inherits a transport stream's version.
    gpsVersion = 0;

    const QString suffix = QFileInfo(path).suffix();
    if (isTs(suffix)) {
        probeTsTypeMarker(path);
        return true;
    }
    if (isMp4(suffix)) {
        Mp4GpsReader reader(track);
        if (reader.readMp4GpsTrack(path))
            track.valid = true;
        result.hisiHandler = reader.hisiHandler();
        return result.hisiHandler;
    }
    return false;
}

void runGpsPassStreams(const QString &path, GpsTrack &track, qint16 &gpsVersion, GpsPassResult &result,
                       const std::atomic<bool> *)
{
    const QString suffix = QFileInfo(path).suffix();
    if (isTs(suffix)) {
        result = tsPass(path, track, gpsVersion);
    } else if (isMp4(suffix) && result.hisiHandler) {
        mp4DataTrackPass(path, track, gpsVersion, result);
    }
}

GpsPassResult runGpsPass(const QString &path, GpsTrack &track, qint16 &gpsVersion, const std::atomic<bool> *interrupt)
{
    GpsPassResult result;
    if (runGpsPassHeader(path, track, gpsVersion, result))
        runGpsPassStreams(path, track, gpsVersion, result, interrupt);
    return result;
}
