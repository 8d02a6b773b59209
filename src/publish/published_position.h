#pragma once
// Per recorder and per broker, how far the broker has acknowledged its history: a small text file
// beside the data file ("N.dat.published-BROKER"), replaced atomically. It names the recorder's
// identity, the number of records acknowledged, a digest of their values and the id the last of
// them was sent with, so that a history cleared or replaced by another one is published afresh
// from its beginning rather than from a place that no longer means anything.
//
// The position follows the records, not their times: when the PC's clock steps back the store
// gives the history new times, and records already acknowledged are not sent again. The digest
// therefore covers what the recorder measured (temperature, humidity, interval), not the times.
// Files of earlier versions ("N.dat.published", without the digest) are still read: they are
// taken as the position of the broker in use, recognised by the time of their last record.

#include "core/recorder_types.h"
#include "publish/broker_url.h"
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

// The digest of no records; extendDigest() adds one record's values.
constexpr uint64_t kEmptyDigest = 14695981039346656037ull;
uint64_t extendDigest(uint64_t digest, const HistoryRecord& record);
uint64_t digestOf(const RecordList& records, uint64_t count);

struct PublishedPosition {
    std::string identity;           // as identityText() writes it
    uint64_t acknowledged = 0;      // records 0 .. acknowledged-1 reached the broker
    RecordFingerprint last;         // of record acknowledged-1, when acknowledged > 0
    bool hasDigest = false;         // false in a file of an earlier version
    uint64_t digest = kEmptyDigest; // of records 0 .. acknowledged-1
    std::string lastId;             // the id record acknowledged-1 was sent with
    friend bool operator==(const PublishedPosition&, const PublishedPosition&) = default;
};

// "broker.example.org_8883_home_cellar-1a2b3c4d": the broker and the prefix as a file name part,
// readable, with a hash of the exact text so that prefixes differing only in a '/' differ.
std::string brokerKey(const BrokerUrl& url);
std::string positionPath(const std::string& dataFolder, int32_t number, const std::string& key);
// The file of earlier versions, one for whatever broker was in use.
std::string legacyPositionPath(const std::string& dataFolder, int32_t number);

std::string encodePosition(const PublishedPosition& position);
// False for a text that is not a position (a damaged file counts as no position: the history is
// then sent again, which at-least-once delivery allows).
bool decodePosition(const std::string& text, PublishedPosition& out);

// A missing or unreadable file gives the empty position.
PublishedPosition loadPosition(const std::string& path);
bool savePosition(const std::string& path, const PublishedPosition& position, std::string& error);

// Where publishing resumes in `records`: after the acknowledged ones when the position belongs
// to this identity and the history still begins with the acknowledged records, whatever their
// times now; otherwise from the start.
uint64_t resumeIndex(const PublishedPosition& position, const std::string& identity,
                     const RecordList& records);

// The position moved on to `count` records of `records` (count >= from.acknowledged, the first
// from.acknowledged of them the ones `from` describes); `lastId` is the id record count-1 was
// sent with.
PublishedPosition positionAfter(const PublishedPosition& from, const RecordList& records,
                                uint64_t count, std::string lastId);
// The position after records 0 .. count-1 of a history not published before.
PublishedPosition positionAfter(const std::string& identity, const RecordList& records,
                                uint64_t count);

} // namespace veldrin::publish
