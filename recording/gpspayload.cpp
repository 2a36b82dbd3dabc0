#include "gpspayload.h"

#include "checktext.h"
#include "recordinglog.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr float kCheckTolerance = 1.0f; // degrees-minutes units of the stored latitude

uint16_t readLe16(const uint8_t *p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

// The C locale, whatever locale the process runs in: the camera writes a
// decimal point, and the viewer runs in the user's locale.
locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return locale;
}

// The decrypted check text read as strtod reads it: the leading number, and
// 0 when there is none. Whatever follows the number in the block (NUL,
// space or cipher padding) is ignored.
float checkTextNumber(const char *checkText)
{
    char plain[kCheckTextPlainSize];
    decryptCheckText(checkText, plain);
    const locale_t c = cLocale();
    if (c == locale_t(0))
        return 0.0f;
    const double number = strtod_l(plain, nullptr, c);
    // Past the float range only the sign matters; the narrowing cast would be undefined.
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    if (std::fabs(number) > double(std::numeric_limits<float>::max()))
        return number > 0 ? kInfinity : -kInfinity;
    return float(number);
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

    GpsRecord slot;
    char checkText[kGpsCheckTextSize + 1];
    std::memcpy(checkText, payload + kGpsPayloadCheckTextOffset, kGpsCheckTextSize);
    checkText[kGpsCheckTextSize] = '\0';
    std::memcpy(&slot, payload + kGpsPayloadRecordOffset, sizeof slot);

    const bool mp4 = variant == GpsPayloadVariant::Mp4DataTrack;
    if (mp4 && std::isnan(slot.heading))
        slot.heading = 0.0f;
    if (verifyAndConvertRecord(slot, checkText, !track.valid, mp4))
        track.valid = true;

    track.records.push_back(slot);
    return true;
}
