#pragma once
// Per recorder, how far the broker has acknowledged its history: a small text file beside the
// data file ("N.dat.published"), replaced atomically. It names the recorder's identity, the number
// of records acknowledged and a fingerprint of the last of them, so that a history cleared or
// replaced by another one is published afresh from its beginning rather than from a place that
// no longer means anything.

#include "core/recorder_types.h"
#include "store/data_file.h"

#include <cstdint>
#include <string>

namespace veldrin::publish {

// What a record looks like, compared to recognise the same record in a file read later.
struct RecordFingerprint {
    int64_t timeSeconds = 0; // linear seconds of the record time
    int32_t temperatureTenths = 0;
    int32_t humidity = 0;
    friend bool operator==(const RecordFingerprint&, const RecordFingerprint&) = default;
};
RecordFingerprint fingerprintOf(const HistoryRecord& record);

struct PublishedPosition {
    std::string identity;      // as identityText() writes it
    uint64_t acknowledged = 0; // records 0 .. acknowledged-1 reached the broker
    RecordFingerprint last;    // of record acknowledged-1, when acknowledged > 0
    friend bool operator==(const PublishedPosition&, const PublishedPosition&) = default;
};

std::string positionPath(const std::string& dataFolder, int32_t number);

std::string encodePosition(const PublishedPosition& position);
// False for a text that is not a position (a damaged file counts as no position: the history is
// then sent again, which at-least-once delivery allows).
bool decodePosition(const std::string& text, PublishedPosition& out);

// A missing or unreadable file gives the empty position.
PublishedPosition loadPosition(const std::string& path);
bool savePosition(const std::string& path, const PublishedPosition& position, std::string& error);

// Where publishing resumes in `records`: after the acknowledged ones when the position belongs
// to this identity and its last record is still there, unchanged; otherwise from the start.
uint64_t resumeIndex(const PublishedPosition& position, const std::string& identity,
                     const RecordList& records);

// The position after records 0 .. count-1 of `records` have been acknowledged.
PublishedPosition positionAfter(const std::string& identity, const RecordList& records,
                                uint64_t count);

} // namespace veldrin::publish
