#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// Seconds added to the shown time for recordings of GPS format version 1:
// those cameras mean their clock to be read as Japan's.
constexpr int kGpsVersion1ShiftSeconds = 9 * 3600;

// Which clock the shown date and time follow. The receiver writes UTC; the
// camera's own rule shows it nine hours on for format version 1 and as
// written otherwise.
struct TimeOffset
{
    enum class Mode {
        Camera, // the camera's rule (the default)
        Utc,    // the receiver's clock as written
        Fixed,  // minutes east of UTC, the same for every recording
    };

    // The zones in use span -12:00 to +14:00, in quarter hours at the finest.
    static constexpr int kMinMinutes = -12 * 60;
    static constexpr int kMaxMinutes = 14 * 60;
    static constexpr int kStepMinutes = 15;

    Mode mode = Mode::Camera;
    int minutes = 0; // east of UTC; Fixed only, always a step within the range

    static TimeOffset camera() { return TimeOffset(); }
    static TimeOffset utc() { return {Mode::Utc, 0}; }
    // Held to the range and rounded to the nearest step.
    static TimeOffset fixed(int minutes);

    // Seconds east of UTC that a recording of this format version is shown in.
    int secondsEastOfUtc(qint16 gpsVersion) const;

    // "camera", "utc" or a signed "+hh:mm" / "-hh:mm".
    QString toText() const;
    // The text form, any letter case, spaces around ignored. An offset out
    // of the range is held to it; nothing for any other text.
    static std::optional<TimeOffset> fromText(const QString &text);
    // A stored choice: what fromText refuses is the camera's rule.
    static TimeOffset fromSetting(const QString &text) { return fromText(text).value_or(camera()); }

    bool operator==(const TimeOffset &other) const { return mode == other.mode && minutes == other.minutes; }
    bool operator!=(const TimeOffset &other) const { return !(*this == other); }
};

// "+09:00", "-03:30", "+00:00" for minutes east of UTC.
QString offsetText(int minutes);
