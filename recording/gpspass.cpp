#include "gpspass.h"

#include "gpspayload.h"
#include "localinput.h"
#include "mp4gpsreader.h"
#include "pathkind.h"
#include "recordinglog.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

// Unreadable: no container of a recording at all (missing, a folder, not a
// recording, a playlist).
enum class Road { None, TransportStream, Mp4, Unreadable };

// Bytes from the start of a file that FFmpeg's probe is shown: several TS
// packets, and an MP4's first boxes.
constexpr int kContainerProbeBytes = 16 * 1024;

// Chosen by the container FFmpeg finds in the file's first bytes, whatever
// the suffix says: a camera's .MOV is an MP4, a renamed TS stays a TS.
// error: the FFmpeg error code of an unreadable file.
Road roadOf(const QString &path, int *error = nullptr)
{
    std::vector<unsigned char> bytes(kContainerProbeBytes + AVPROBE_PADDING_SIZE, 0);
    size_t size = 0;
    errno = 0;
    if (std::FILE *file = openRegularFile(path)) {
        size = std::fread(bytes.data(), 1, kContainerProbeBytes, file);
        std::fclose(file);
    }
    AVProbeData probe{};
    probe.buf = bytes.data();
    probe.buf_size = int(size);
    probe.filename = ""; // the suffix decides nothing
    const AVInputFormat *format = size > 0 ? av_probe_input_format(&probe, 1) : nullptr;
    if (!format || !isRecordingFormat(format->name)) {
        if (error)
            *error = !format && errno != 0 ? AVERROR(errno) : AVERROR_INVALIDDATA;
        return Road::Unreadable;
    }
    const QByteArray name(format->name);
    if (name == "mpegts")
        return Road::TransportStream;
    if (name.split(',').contains("mp4"))
        return Road::Mp4;
    return Road::None;
}

// Owns one demuxer context and one packet for the length of a pass, and
// stops the demuxer's reading when the caller interrupts or a read limit is
// reached.
class Demuxer
{
public:
    explicit Demuxer(const std::atomic<bool> *interrupt)
        : mInterrupt(interrupt)
    {
    }
    ~Demuxer()
    {
        av_packet_free(&mPacket);
        avformat_close_input(&mContext);
    }
    Demuxer(const Demuxer &) = delete;
    Demuxer &operator=(const Demuxer &) = delete;

    // Opens the file and reads its stream information. A failure sets the
    // status and logs it, unless the caller interrupted: the file may be fine.
    bool open(const QString &path, GpsPassResult &result)
    {
        mContext = avformat_alloc_context();
        if (!mContext) {
            result.status = GpsPassResult::OpenFailed;
            result.error = errorText(AVERROR(ENOMEM));
            qCDebug(lcRecording) << "can't open the file.";
            return false;
        }
        // Before the open: it reads (the whole "moov" of an MP4) and must stop too.
        mContext->interrupt_callback.callback = &Demuxer::stopReading;
        mContext->interrupt_callback.opaque = this;

        const QByteArray name = QFile::encodeName(path);
        int rc = openLocalInput(&mContext, name.constData()); // frees mContext on failure
        if (rc < 0) {
            if (interrupted())
                return false;
            qCDebug(lcRecording) << "can't open the file.";
            result.status = GpsPassResult::OpenFailed;
            result.error = errorText(rc);
            return false;
        }
        rc = avformat_find_stream_info(mContext, nullptr);
        if (interrupted())
            return false;
        if (rc < 0) {
            qCDebug(lcRecording) << "Could't find stream infomation.";
            result.status = GpsPassResult::StreamInfoFailed;
            result.error = errorText(rc);
            return false;
        }
        mPacket = av_packet_alloc();
        if (!mPacket) {
            result.status = GpsPassResult::OpenFailed;
            result.error = errorText(AVERROR(ENOMEM));
            return false;
        }
        return true;
    }

    AVFormatContext *context() const { return mContext; }
    AVPacket *packet() const { return mPacket; }

    // Polled by the packet loops: the demuxer may hand out buffered packets
    // without reading, so the callback alone would not see the flag.
    bool stopRequested()
    {
        if (mInterrupt && mInterrupt->load(std::memory_order_relaxed))
            mInterrupted = true;
        return mInterrupted;
    }
    bool interrupted() const { return mInterrupted; }

    // Reading stops once this many more bytes have been read from the file.
    // A read that the limit fails leaves the demuxer usable: reading goes on after a seek.
    void limitReads(qint64 bytes) { mReadLimit = bytesRead() + bytes; }
    void unlimitReads() { mReadLimit = -1; }

    qint64 bytesRead() const { return mContext && mContext->pb ? mContext->pb->bytes_read : 0; }

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
    // libavformat's interrupt callback, called before every read of the file
    // and, while it finds the stream information, before every packet; 1
    // fails the call under way with AVERROR_EXIT.
    static int stopReading(void *opaque)
    {
        auto *self = static_cast<Demuxer *>(opaque);
        if (self->stopRequested())
            return 1;
        return self->mReadLimit >= 0 && self->bytesRead() >= self->mReadLimit ? 1 : 0;
    }

    const std::atomic<bool> *mInterrupt; // the caller's stop flag, may be null
    bool mInterrupted = false;           // the flag was seen set
    qint64 mReadLimit = -1;              // bytes_read at which reading stops, -1 for none
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
// file or an interrupt.
void decodeGpsStream(Demuxer &demuxer, int streamIndex, GpsPayloadVariant variant,
                     GpsTrack &track, qint16 &gpsVersion)
{
    demuxer.discardAllBut(streamIndex);
    AVPacket *packet = demuxer.packet();
    int dropped = 0;
    while (!demuxer.stopRequested() && av_read_frame(demuxer.context(), packet) >= 0) {
        if (packet->stream_index == streamIndex && packet->data) {
            if (!decodeGpsPayload(packet->data, size_t(packet->size), variant, track, gpsVersion))
                ++dropped;
        }
        av_packet_unref(packet);
    }
    if (dropped > 0)
        qCDebug(lcRecording) << "gps payloads dropped:" << dropped;
}

// Streams of a transport stream can appear only while reading: reads packets,
// for at most kGpsRescanBytes, until one belongs to neither noted stream.
// Returns the GPS stream then known, or -1, with the demuxer back at the start
// of the file when there is one.
int rescanForGpsStream(Demuxer &demuxer, int videoStream, int audioStream)
{
    AVFormatContext *ic = demuxer.context();
    // Their packets are skipped unassembled; a stream that appears later keeps
    // the default, and so do other known streams, since their packets end the search too.
    for (const int index : {videoStream, audioStream}) {
        if (index >= 0)
            ic->streams[index]->discard = AVDISCARD_ALL;
    }
    demuxer.limitReads(kGpsRescanBytes);
    AVPacket *packet = demuxer.packet();
    while (!demuxer.stopRequested() && av_read_frame(ic, packet) >= 0) {
        const int index = packet->stream_index;
        av_packet_unref(packet);
        if (index != videoStream && index != audioStream) {
            qCDebug(lcRecording) << "find gps stream index1:" << index;
            break;
        }
    }
    demuxer.unlimitReads();
    const int gpsStream = findStreamByPid(ic, kGpsStreamPid);
    // A stream that appeared was read into: start over so that none of its packets is lost.
    if (gpsStream > 0 && !demuxer.interrupted())
        av_seek_frame(ic, -1, 0, AVSEEK_FLAG_BYTE);
    return gpsStream;
}

void tsStreams(Demuxer &demuxer, const QString &path, GpsTrack &track, qint16 &gpsVersion,
               GpsPassResult &result)
{
    if (!demuxer.open(path, result))
        return;
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
        qCDebug(lcRecording) << "not find gps stream infomation,find gps stream again";
        gpsStream = rescanForGpsStream(demuxer, videoStream, audioStream);
    }
    result.gpsStream = gpsStream;

    // Index 0 is never taken for GPS; -1 means there is nothing to read.
    if (gpsStream <= 0 || demuxer.interrupted())
        return;
    decodeGpsStream(demuxer, gpsStream, GpsPayloadVariant::TransportStream, track, gpsVersion);
}

void dataTrackStreams(Demuxer &demuxer, const QString &path, GpsTrack &track, qint16 &gpsVersion,
                      GpsPassResult &result)
{
    if (!demuxer.open(path, result))
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

} // namespace

bool runGpsPassHeader(const QString &path, GpsTrack &track, qint16 &gpsVersion, GpsPassResult &result)
{
    result = GpsPassResult();
    track.reset();
    // Cleared for every file, so an MP4 never inherits a transport stream's version.
    gpsVersion = 0;

    int error = 0;
    switch (roadOf(path, &error)) {
    case Road::TransportStream:
        probeTsTypeMarker(path);
        return true;
    case Road::Mp4: {
        Mp4GpsReader reader(track);
        if (reader.readMp4GpsTrack(path))
            track.valid = true;
        result.hisiHandler = reader.hisiHandler();
        if (result.hisiHandler)
            qCDebug(lcRecording) << "hisi mp4";
        return result.hisiHandler;
    }
    case Road::Unreadable:
        qCDebug(lcRecording) << "can't open the file.";
        result.status = GpsPassResult::OpenFailed;
        result.error = Demuxer::errorText(error);
        break;
    case Road::None:
        break;
    }
    return false;
}

void runGpsPassStreams(const QString &path, GpsTrack &track, qint16 &gpsVersion, GpsPassResult &result,
                       const std::atomic<bool> *interrupt)
{
    const Road road = roadOf(path);
    if (road != Road::TransportStream && !(road == Road::Mp4 && result.hisiHandler))
        return;

    Demuxer demuxer(interrupt);
    if (road == Road::TransportStream)
        tsStreams(demuxer, path, track, gpsVersion, result);
    else
        dataTrackStreams(demuxer, path, track, gpsVersion, result);
    result.bytesRead += demuxer.bytesRead();
    if (demuxer.interrupted()) {
        result.interrupted = true;
        qCDebug(lcRecording) << "gps pass interrupted";
    }
}

GpsPassResult runGpsPass(const QString &path, GpsTrack &track, qint16 &gpsVersion,
                         const std::atomic<bool> *interrupt)
{
    GpsPassResult result;
    if (runGpsPassHeader(path, track, gpsVersion, result))
        runGpsPassStreams(path, track, gpsVersion, result, interrupt);
    return result;
}
