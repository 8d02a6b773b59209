#pragma once
// The per-recorder data file and its serializer. The file holds the recorder's settings as last
// read from it (and edited on the PC), its whole downloaded history and the recorder address where
// the next download continues. Layout, little-endian and packed, no signature:
//
//   0    8 x int32   settings fields 0..7
//   32   int32       N, description length in UTF-16 units (0..255)
//   36   2N          description, UTF-16LE, no terminator
//   +0   4 x 28      slots: start status int32, start value float64, end status int32,
//                    end value float64, inUse int32
//   +112 int32       R, number of records
//   +116 37R         records, oldest first (see kRecordOnDisk)
//   end  int32       nextAddress
//
// so a file is exactly 156 + 2N + 37R bytes. Date-times are stored status first, then value.

#include "core/clock.h"
#include "core/date_time.h"
#include "core/recorder_types.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace veldrin {

// Contiguous: histories of a million records must load, copy and save quickly.
using RecordList = std::vector<HistoryRecord>;

namespace datafile {
constexpr std::size_t kFixedSize = 156;
constexpr std::size_t kRecordOnDisk = 37;
constexpr std::size_t kSlotOnDisk = 28;
constexpr int32_t kMaxDescriptionUnits = kDescriptionCapacity - 1; // 255
// Offsets inside one record on disk.
constexpr std::size_t kRecTemperature = 0;
constexpr std::size_t kRecHumidity = 8;
constexpr std::size_t kRecInterval = 9;
constexpr std::size_t kRecTimeStatus = 13;
constexpr std::size_t kRecTimeValue = 17;
constexpr std::size_t kRecDownloadStatus = 25;
constexpr std::size_t kRecDownloadValue = 29;

// Room kept behind the records of a loaded history: one recorder's whole memory, so that the first
// download after a load appends without moving a million records.
constexpr std::size_t kAppendHeadroom = 16320;

constexpr uint64_t fileSize(uint64_t descriptionUnits, uint64_t records) {
    return kFixedSize + 2 * descriptionUnits + kRecordOnDisk * records;
}
} // namespace datafile

// One record as the file stores it: kRecordOnDisk bytes at `entry`. Decoding a file and encoding
// its records again gives its bytes back exactly.
void encodeRecordEntry(char* entry, const HistoryRecord& record);

// The fingerprint of the records the window [from, to] holds (core/record_window.h): SHA-256 of
// their entries exactly as the data file stores them, in file order, nothing else; 64 lower-case
// hexadecimal digits (empty when the system could not compute it). Anyone holding the data file
// can check a report's figures against it.
std::string recordFingerprint(const RecordList& records, const DateTime& from, const DateTime& to);

// "<folder>/<number>.dat"
std::string dataFilePath(const std::string& folder, int32_t number);

enum class OpenFailure {
    none,
    notFound,   // no file at the path
    empty,      // a 0-byte file (earlier versions marked a registered recorder so)
    malformed,  // ends too early, too long, counts out of range, unknown date-time status
    unreadable, // exists but could not be read (permissions, a folder, an I/O error)
};

// What a file holds, decoded. Fields 8 and 9 and the slot blocks are not in the file; decoding
// leaves them as they were in `settings`.
struct DataFileContent {
    RecorderSettings settings;
    RecordList records;
    int32_t nextAddress = 0;
};

// Pure codec. encode cuts the description at its first NUL unit and at 255 units. decode checks
// every count against the bytes present before it allocates anything; false with the failure and
// the message text, `out` then untouched.
std::string encodeDataFile(const RecorderSettings& settings, const RecordList& records,
                           int32_t nextAddress);
bool decodeDataFile(std::string_view bytes, DataFileContent& out, std::string& message);

// Reads and decodes a data file without reading more than its header says it holds: opened
// without waiting, only a regular file, every count checked against the file's size before
// anything is allocated. False with the failure and a message naming the file (the format's own
// message for a malformed one). The one reader of data files for every front end.
bool readDataFile(const std::string& path, DataFileContent& out, OpenFailure& failure,
                  std::string& message);

// The serializer. The caller points it at a record list (setTarget), then opens or saves a path.
// Results are integers, non-zero for success; failures leave a message in errorMessage() and are
// never thrown.
//
// Data safety beyond the plain format:
// - open is all or nothing: on failure the settings image, nextAddress and the target list are
//   exactly as before;
// - save replaces the file atomically; a failed save leaves the old file byte for byte;
// - a file that could not be read (anything but a missing or a 0-byte file) is never written
//   over: before the first save to that path it is renamed to "<path>.damaged-YYYYMMDD-HHMMSS"
//   (local time of the clock) and noticeMessage() says where it went;
// - createEmpty never destroys history: a file with records (or one that cannot be read) already
//   at the path is renamed to
//   "<path>.orphaned-YYYYMMDD-HHMMSS" first.
class CVeldrinDoc {
public:
    explicit CVeldrinDoc(Clock& clock);

    // The image of the file's settings part, and nextAddress. Open replaces the file-backed parts
    // (fields 0..7, description, slot start/end/inUse); save writes them.
    RecorderSettings settings;
    int32_t nextAddress = 0;

    void setTarget(RecordList* list) { target_ = list; }
    RecordList* target() const { return target_; }

    int open(const std::string& path);
    int save(const std::string& path);
    // The file of a recorder just registered: a whole data file with `fresh` and no records, so
    // that it reads as "no records yet" from the moment it exists.
    int createEmpty(const std::string& path, const RecorderSettings& fresh);

    // Settings of a file without keeping its records (for showing a description); the document
    // itself is not changed, apart from remembering a damaged path.
    int peekSettings(const std::string& path, RecorderSettings& out);

    const std::string& errorMessage() const { return error_; }
    OpenFailure lastOpenFailure() const { return lastOpenFailure_; }
    // Set by the last save or createEmpty when it moved a file aside first; empty otherwise.
    const std::string& noticeMessage() const { return notice_; }
    bool isKnownDamaged(const std::string& path) const { return damaged_.count(path) != 0; }

private:
    bool readAndDecode(const std::string& path, DataFileContent& content);
    bool holdsRecords(const std::string& path);
    bool moveAsideIfDamaged(const std::string& path);
    bool moveAside(const std::string& path, const char* reason);
    int writeBytes(const std::string& path, const RecorderSettings& settings,
                   const RecordList* records);

    Clock& clock_;
    RecordList* target_ = nullptr;
    std::string error_;
    std::string notice_;
    OpenFailure lastOpenFailure_ = OpenFailure::none;
    std::set<std::string> damaged_;
};

} // namespace veldrin
