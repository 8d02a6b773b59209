#pragma once
// What watch --on-alarm has announced to the alarm program as begun and not yet as ended, per
// recorder: a small text file beside the data file ("N.dat.alarms"), replaced atomically like the
// publishing position. A watch started later ends the events announced that ended meanwhile, so
// that a consumer never stays in alarm for an event that is over.

#include "core/alarm_limits.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace veldrin::cli {

struct AnnouncedAlarms {
    // Per limit, in the order of LimitKind: the time of the begin announced (linear seconds of
    // the record that made it), none when nothing is open there.
    std::array<std::optional<int64_t>, 4> begun{};
    friend bool operator==(const AnnouncedAlarms&, const AnnouncedAlarms&) = default;
};

std::string announcedAlarmsPath(const std::string& dataFolder, int32_t number);

// "temp-high=SECONDS" per open begin, after a comment line.
std::string encodeAnnounced(const AnnouncedAlarms& announced);
// False for a text that is not such a file; `out` is then left alone.
bool decodeAnnounced(const std::string& text, AnnouncedAlarms& out);

// A missing file is nothing announced; a damaged one too, said in `problem`.
AnnouncedAlarms loadAnnounced(const std::string& path, std::string& problem);
bool saveAnnounced(const std::string& path, const AnnouncedAlarms& announced, std::string& error);

} // namespace veldrin::cli
