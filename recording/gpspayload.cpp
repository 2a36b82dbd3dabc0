#include "gpspayload.h"

#include "checktext.h"
#include "recordinglog.h"

#include <QByteArray>

#include <cmath>
#include <cstring>

namespace {

constexpr float kCheckTolerance = 1.0f; // degrees-minutes units of the stored latitude

uint16_t readLe16(const uint8_t *p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

// The decrypted check text read as a decimal number; anything else reads as 0.
float checkTextNumber(const char *checkText)
{
    char plain[kCheckTextPlainSize];
    decryptCheckText(checkText, plain);
    bool ok = false;
    const float number = QByteArray(plain).toFloat(&ok);
    return ok ? number : 0.0f;
}

} // namespace

float nmeaToDegrees(float value)
{
    // Whole degrees, truncated toward zero; trunc keeps NaN and huge values defined.
    const float degrees = std::trunc(value / 100.0f);
    const float minutes = value - degrees * 100.0f;
    return float(double(minutes) / 60.0 + double(degrees));
}

bool verifyAndConvertRecord(GpsRecord &record, const char *checkText, bool testing, bool logNumber)
{
    bool passed = false;
    if (testing && checkText[0] != '\0') {
        const float number = checkTextNumber(checkText);
        if (logNumber)
            qCDebug(lcRecording) << number;
        // Compared with the latitude as stored, before conversion.
        passed = record.status == 'A' && std::fabs(number - record.latitude) < kCheckTolerance;
    }
    record.latitude = nmeaToDegrees(record.latitude);
    record.longitude = nmeaToDegrees(record.longitude);
    return passed;
}

bool decodeGpsPayload(const uint8_t *payload, size_t size, GpsPayloadVariant variant,
                      GpsTrack &track, qint16 &gpsVersion)
{
    if (!payload || size < size_t(kGpsPayloadSize))
        return false;

    if (variant == GpsPayloadVariant::TransportStream) {
        const uint16_t version = readLe16(payload + kGpsPayloadVersionOffset);
        if (version != 0 && gpsVersion == 0) {
            gpsVersion = qint16(version);
            qCDebug(lcRecording) << "1gpsVersion" << version;
        }
    }

    if (track.count < 0 || track.count >= kGpsTrackCapacity)
        return false;

    GpsRecord &slot = track.records[track.count];
    std::memset(&slot, 0, sizeof slot);

    char checkText[kGpsCheckTextSize + 1];
    std::memcpy(checkText, payload + kGpsPayloadCheckTextOffset, kGpsCheckTextSize);
    checkText[kGpsCheckTextSize] = '\0';
    std::memcpy(&slot, payload + kGpsPayloadRecordOffset, sizeof slot);

    const bool mp4 = variant == GpsPayloadVariant::Mp4DataTrack;
    if (mp4 && std::isnan(slot.heading))
        slot.heading = 0.0f;
    if (verifyAndConvertRecord(slot, checkText, !track.valid, mp4))
        track.valid = true;

    ++track.count;
    return true;
}
