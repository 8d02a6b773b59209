#include "store/data_file.h"

#include "core/atomic_file.h"
#include "core/file_system.h"
#include "core/paths.h"
#include "core/record_window.h"
#include "core/sha256.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace veldrin {
namespace {

using namespace datafile;

constexpr const char* kUnexpectedFormat = "Unexpected file format.";
constexpr std::size_t kDescriptionOffset = 36;
constexpr std::size_t kSlotsSize = kSlotCount * kSlotOnDisk; // 112
// The in-memory record ends with interval, humidity and the two statuses in one 8-byte word, and
// the host stores numbers as the file does: the decoder can move whole words.
constexpr bool kPackedTail =
    std::endian::native == std::endian::little && offsetof(HistoryRecord, interval) == 24 &&
    offsetof(HistoryRecord, humidity) == 28 && offsetof(HistoryRecord, timeStatus) == 29 &&
    offsetof(HistoryRecord, downloadTimeStatus) == 30 && sizeof(HistoryRecord) == 32;
// Records are read from a file in chunks of this many.
constexpr std::size_t kChunkRecords = 4096;
// A save encodes its records on the stack, this many at a time, and hands each chunk to the file
// writer as one write: saving a history allocates nothing of its own.
constexpr std::size_t kSaveChunkRecords = 1024;

// ---- Little-endian fields --------------------------------------------------------------------

void putU32(char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<char>(v >> (8 * i));
    }
}
void putI32(char* p, int32_t v) {
    putU32(p, static_cast<uint32_t>(v));
}
void putF64(char* p, double d) {
    const auto v = std::bit_cast<uint64_t>(d);
    for (int i = 0; i < 8; ++i) {
        p[i] = static_cast<char>(v >> (8 * i));
    }
}
uint32_t getU32(const char* p) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        v |= uint32_t{static_cast<unsigned char>(p[i])} << (8 * i);
    }
    return v;
}
int32_t getI32(const char* p) {
    return static_cast<int32_t>(getU32(p));
}
double getF64(const char* p) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) {
        v |= uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
    }
    return std::bit_cast<double>(v);
}

bool knownStatus(int32_t status) {
    return status >= 0 && status <= 2;
}

void putDateTime(char* p, const DateTime& t) {
    putI32(p, static_cast<int32_t>(t.status));
    putF64(p + 4, t.value);
}
bool getDateTime(const char* p, DateTime& t) {
    const int32_t status = getI32(p);
    if (!knownStatus(status)) {
        return false;
    }
    t.status = static_cast<DateTimeStatus>(status);
    t.value = getF64(p + 4);
    return true;
}

// ---- Parts of the file -----------------------------------------------------------------------

std::size_t descriptionUnits(const std::u16string& d) {
    const std::size_t nul = d.find(u'\0');
    return std::min<std::size_t>(nul == std::u16string::npos ? d.size() : nul,
                                 static_cast<std::size_t>(kMaxDescriptionUnits));
}

std::size_t headSize(std::size_t units) {
    return kDescriptionOffset + 2 * units + kSlotsSize + 4;
}

// Everything before the records: fields 0..7, N, the description, the slots and R.
std::string encodeHead(const RecorderSettings& s, std::size_t recordCount) {
    const std::size_t units = descriptionUnits(s.description);
    std::string head(headSize(units), '\0');
    char* p = head.data();
    const int32_t fields[8] = {s.tempUnit,   s.dateOrder,    s.interval,     s.lastBlock,
                               s.wrapMarker, s.versionMajor, s.versionMinor, s.recorderNumber};
    for (int i = 0; i < 8; ++i) {
        putI32(p + 4 * i, fields[i]);
    }
    putI32(p + 32, static_cast<int32_t>(units));
    p += kDescriptionOffset;
    for (std::size_t i = 0; i < units; ++i) {
        const auto unit = static_cast<uint16_t>(s.description[i]);
        p[0] = static_cast<char>(unit & 0xFF);
        p[1] = static_cast<char>(unit >> 8);
        p += 2;
    }
    for (const TimeSlot& slot : s.slots) {
        putDateTime(p, slot.start);
        putDateTime(p + 12, slot.end);
        putI32(p + 24, slot.inUse);
        p += kSlotOnDisk;
    }
    putI32(p, static_cast<int32_t>(recordCount));
    return head;
}

void encodeRecord(char* p, const HistoryRecord& r) {
    putF64(p + kRecTemperature, r.temperature);
    p[kRecHumidity] = static_cast<char>(r.humidity);
    putI32(p + kRecInterval, r.interval);
    putI32(p + kRecTimeStatus, r.timeStatus);
    putF64(p + kRecTimeValue, r.timeValue);
    putI32(p + kRecDownloadStatus, r.downloadTimeStatus);
    putF64(p + kRecDownloadValue, r.downloadTimeValue);
}

// Decodes n records onto the end of `out`; false when one carries an unknown date-time status.
// Loading a million records is dominated by this loop, so the status test is gathered over the
// run instead of branching per record, and on a little-endian host each record is moved with
// four 8-byte stores.
bool decodeRecords(const char* p, std::size_t n, RecordList& out) {
    uint32_t unknownStatus = 0;
    for (std::size_t i = 0; i < n; ++i, p += kRecordOnDisk) {
        const uint32_t timeStatus = getU32(p + kRecTimeStatus);
        const uint32_t downloadStatus = getU32(p + kRecDownloadStatus);
        unknownStatus |=
            static_cast<uint32_t>(timeStatus > 2) | static_cast<uint32_t>(downloadStatus > 2);
        HistoryRecord& r = out.emplace_back();
        if constexpr (kPackedTail) {
            const uint64_t tail = uint64_t{getU32(p + kRecInterval)} |
                                  uint64_t{static_cast<unsigned char>(p[kRecHumidity])} << 32 |
                                  uint64_t{timeStatus & 0xFF} << 40 |
                                  uint64_t{downloadStatus & 0xFF} << 48;
            auto* d = reinterpret_cast<unsigned char*>(&r);
            std::memcpy(d + offsetof(HistoryRecord, temperature), p + kRecTemperature, 8);
            std::memcpy(d + offsetof(HistoryRecord, timeValue), p + kRecTimeValue, 8);
            std::memcpy(d + offsetof(HistoryRecord, downloadTimeValue), p + kRecDownloadValue, 8);
            std::memcpy(d + offsetof(HistoryRecord, interval), &tail, 8);
        } else {
            r.temperature = getF64(p + kRecTemperature);
            r.timeValue = getF64(p + kRecTimeValue);
            r.downloadTimeValue = getF64(p + kRecDownloadValue);
            r.interval = getI32(p + kRecInterval);
            r.humidity = static_cast<int8_t>(static_cast<unsigned char>(p[kRecHumidity]));
            r.timeStatus = static_cast<uint8_t>(timeStatus);
            r.downloadTimeStatus = static_cast<uint8_t>(downloadStatus);
        }
    }
    return unknownStatus == 0;
}

// ---- Reading ---------------------------------------------------------------------------------

// Where the bytes of a file come from: memory (the pure codec) or an open file.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Exactly n bytes or false.
    virtual bool read(char* out, std::size_t n) = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes), size_(bytes.size()) {}
    uint64_t size() const override { return size_; }
    bool read(char* out, std::size_t n) override {
        if (n > bytes_.size()) {
            return false;
        }
        std::memcpy(out, bytes_.data(), n);
        bytes_.remove_prefix(n);
        return true;
    }

private:
    std::string_view bytes_;
    uint64_t size_;
};

class FileSource final : public ByteSource {
public:
    FileSource(int fd, uint64_t size) : fd_(fd), size_(size) {}
    uint64_t size() const override { return size_; }
    bool read(char* out, std::size_t n) override {
        while (n > 0) {
            const ssize_t got = ::read(fd_, out, n);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return false;
            }
            out += got;
            n -= static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    int fd_;
    uint64_t size_;
};

enum class Decode { ok, malformed };

// Reads the settings part and R, and checks that the file holds exactly R records and
// nextAddress, before anything is allocated for the records.
Decode decodeHead(ByteSource& in, RecorderSettings& s, int32_t& recordCount) {
    char fixed[kDescriptionOffset];
    if (in.size() < kFixedSize || !in.read(fixed, sizeof fixed)) {
        return Decode::malformed;
    }
    const int32_t units = getI32(fixed + 32);
    if (units < 0 || units > kMaxDescriptionUnits) {
        return Decode::malformed;
    }
    const std::size_t restSize = headSize(static_cast<std::size_t>(units)) - kDescriptionOffset;
    char rest[2 * kMaxDescriptionUnits + kSlotsSize + 4];
    if (in.size() < kDescriptionOffset + restSize || !in.read(rest, restSize)) {
        return Decode::malformed;
    }
    const char* p = rest;
    std::u16string description;
    for (int32_t i = 0; i < units; ++i, p += 2) {
        const auto low = static_cast<unsigned char>(p[0]);
        const auto high = static_cast<unsigned char>(p[1]);
        description.push_back(static_cast<char16_t>(low | (high << 8)));
    }
    // The description is a terminated string in memory; a NUL unit read from the file ends it.
    description.resize(descriptionUnits(description));
    std::array<TimeSlot, kSlotCount> slots = s.slots;
    for (TimeSlot& slot : slots) {
        if (!getDateTime(p, slot.start) || !getDateTime(p + 12, slot.end)) {
            return Decode::malformed;
        }
        slot.inUse = getI32(p + 24);
        p += kSlotOnDisk;
    }
    recordCount = getI32(p);
    if (recordCount < 0 ||
        fileSize(static_cast<uint64_t>(units), static_cast<uint64_t>(recordCount)) != in.size()) {
        return Decode::malformed;
    }
    s.tempUnit = getI32(fixed + 0);
    s.dateOrder = getI32(fixed + 4);
    s.interval = getI32(fixed + 8);
    s.lastBlock = getI32(fixed + 12);
    s.wrapMarker = getI32(fixed + 16);
    s.versionMajor = getI32(fixed + 20);
    s.versionMinor = getI32(fixed + 24);
    s.recorderNumber = getI32(fixed + 28);
    s.description = std::move(description);
    s.slots = slots;
    return Decode::ok;
}

Decode decodeRecordsAndTail(ByteSource& in, int32_t recordCount, DataFileContent& out) {
    RecordList records;
    records.reserve(static_cast<std::size_t>(recordCount) + kAppendHeadroom);
    auto chunk = std::make_unique<char[]>(kChunkRecords * kRecordOnDisk);
    std::size_t left = static_cast<std::size_t>(recordCount);
    while (left > 0) {
        const std::size_t n = std::min(left, kChunkRecords);
        if (!in.read(chunk.get(), n * kRecordOnDisk)) {
            return Decode::malformed;
        }
        if (!decodeRecords(chunk.get(), n, records)) {
            return Decode::malformed;
        }
        left -= n;
    }
    char tail[4];
    if (!in.read(tail, sizeof tail)) {
        return Decode::malformed;
    }
    out.records = std::move(records);
    out.nextAddress = getI32(tail);
    return Decode::ok;
}

Decode decodeAll(ByteSource& in, DataFileContent& out) {
    DataFileContent decoded;
    decoded.settings = out.settings;
    int32_t recordCount = 0;
    if (decodeHead(in, decoded.settings, recordCount) != Decode::ok ||
        decodeRecordsAndTail(in, recordCount, decoded) != Decode::ok) {
        return Decode::malformed;
    }
    out = std::move(decoded);
    return Decode::ok;
}

std::string stampForName(Clock& clock) {
    CalendarFields f;
    if (!clock.nowLocal().fields(f)) {
        return "unknown";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d", f.year, f.month, f.day, f.hour,
                  f.minute, f.second);
    return text;
}

bool pathExists(const std::string& path) {
    FileStatus st;
    return fileStatus(path, st, false);
}

// Closes a descriptor when the scope ends.
struct FdGuard {
    int fd;
    ~FdGuard() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

} // namespace

void encodeRecordEntry(char* entry, const HistoryRecord& record) {
    encodeRecord(entry, record);
}

std::string recordFingerprint(const RecordList& records, const DateTime& from, const DateTime& to) {
    const RecordWindow window(from, to);
    Sha256 digest;
    // The entries are encoded straight into a chunk and hashed a chunk at a time: a call per
    // record, or a copy per entry, would cost more than the hashing.
    const auto chunk = std::make_unique<char[]>(kChunkRecords * kRecordOnDisk);
    const std::string_view whole(chunk.get(), kChunkRecords * kRecordOnDisk);
    std::size_t held = 0;
    for (const HistoryRecord& r : records) {
        if (!window.holds(r)) {
            continue;
        }
        encodeRecord(chunk.get() + held * kRecordOnDisk, r);
        if (++held == kChunkRecords) {
            digest.update(whole);
            held = 0;
        }
    }
    digest.update(whole.substr(0, held * kRecordOnDisk));
    return digest.hexDigest();
}

std::string dataFilePath(const std::string& folder, int32_t number) {
    return joinPath(folder, std::to_string(number) + ".dat");
}

std::string encodeDataFile(const RecorderSettings& settings, const RecordList& records,
                           int32_t nextAddress) {
    std::string bytes = encodeHead(settings, records.size());
    const std::size_t headEnd = bytes.size();
    bytes.resize(headEnd + records.size() * kRecordOnDisk + 4);
    char* p = bytes.data() + headEnd;
    for (const HistoryRecord& r : records) {
        encodeRecord(p, r);
        p += kRecordOnDisk;
    }
    putI32(p, nextAddress);
    return bytes;
}

bool decodeDataFile(std::string_view bytes, DataFileContent& out, std::string& message) {
    MemorySource in(bytes);
    if (decodeAll(in, out) != Decode::ok) {
        message = kUnexpectedFormat;
        return false;
    }
    return true;
}

CVeldrinDoc::CVeldrinDoc(Clock& clock) : clock_(clock) {}

bool readDataFile(const std::string& path, DataFileContent& out, OpenFailure& failure,
                  std::string& message) {
    auto fail = [&](OpenFailure why, std::string text) {
        failure = why;
        message = std::move(text);
        return false;
    };
    FileStatus st;
    std::string why;
    FdGuard file{openRegularFile(path, st, why)};
    if (file.fd < 0) {
        if (errno == ENOENT) {
            return fail(OpenFailure::notFound, path + " was not found.");
        }
        return fail(OpenFailure::unreadable, why);
    }
    if (st.size == 0) {
        return fail(OpenFailure::empty, kUnexpectedFormat);
    }
    FileSource in(file.fd, st.size);
    if (decodeAll(in, out) != Decode::ok) {
        return fail(OpenFailure::malformed, kUnexpectedFormat);
    }
    failure = OpenFailure::none;
    return true;
}

bool CVeldrinDoc::readAndDecode(const std::string& path, DataFileContent& content) {
    error_.clear();
    lastOpenFailure_ = OpenFailure::none;
    if (!readDataFile(path, content, lastOpenFailure_, error_)) {
        if (lastOpenFailure_ == OpenFailure::malformed ||
            lastOpenFailure_ == OpenFailure::unreadable) {
            damaged_.insert(path);
        } else {
            damaged_.erase(path);
        }
        return false;
    }
    damaged_.erase(path);
    return true;
}

int CVeldrinDoc::open(const std::string& path) {
    DataFileContent content;
    content.settings = settings; // fields the file does not hold stay as they are
    if (!readAndDecode(path, content)) {
        return 0;
    }
    settings = std::move(content.settings);
    nextAddress = content.nextAddress;
    if (target_ != nullptr) {
        target_->swap(content.records); // the previous records go with `content`
    }
    return 1;
}

int CVeldrinDoc::peekSettings(const std::string& path, RecorderSettings& out) {
    error_.clear();
    lastOpenFailure_ = OpenFailure::none;
    FileStatus st;
    std::string why;
    FdGuard file{openRegularFile(path, st, why)};
    if (file.fd < 0 || st.size == 0) {
        // The full read reports the cause in the same words as an open.
        DataFileContent content;
        content.settings = out;
        if (!readAndDecode(path, content)) {
            return 0;
        }
        out = std::move(content.settings);
        return 1;
    }
    FileSource in(file.fd, st.size);
    RecorderSettings read = out;
    int32_t recordCount = 0;
    if (decodeHead(in, read, recordCount) != Decode::ok) {
        lastOpenFailure_ = OpenFailure::malformed;
        error_ = kUnexpectedFormat;
        damaged_.insert(path);
        return 0;
    }
    out = std::move(read);
    return 1;
}

// Anything but an empty file or a file without records may be history worth keeping.
bool CVeldrinDoc::holdsRecords(const std::string& path) {
    FileStatus st;
    if (!fileStatus(path, st) || st.kind != FileKind::regular || st.size == 0) {
        return false;
    }
    if (st.size > fileSize(kMaxDescriptionUnits, 0)) {
        return true;
    }
    DataFileContent content;
    const bool read = readAndDecode(path, content);
    damaged_.erase(path); // kept aside below if it holds anything, never counted as damage here
    return !read || !content.records.empty();
}

bool CVeldrinDoc::moveAside(const std::string& path, const char* reason) {
    const std::string base = path + "." + reason + "-" + stampForName(clock_);
    std::string aside = base;
    for (int n = 2; pathExists(aside); ++n) {
        aside = base + "-" + std::to_string(n);
    }
    if (!renameAside(path, aside)) {
        if (errno == ENOENT) {
            return true; // nothing left to keep
        }
        error_ = "Failed to save document: " + path + " could not be read and could not be " +
                 "kept aside as " + aside + " (" + std::strerror(errno) + "); it was not replaced.";
        return false;
    }
    notice_ = std::string(reason) == "damaged"
                  ? "The data file " + path + " could not be read. It has been kept as " + aside +
                        " and a new file has been started."
                  : "A data file with history was found at " + path + ". It has been kept as " +
                        aside + " and an empty file has been started.";
    return true;
}

bool CVeldrinDoc::moveAsideIfDamaged(const std::string& path) {
    if (damaged_.count(path) == 0) {
        return true;
    }
    if (!moveAside(path, "damaged")) {
        return false;
    }
    damaged_.erase(path);
    return true;
}

int CVeldrinDoc::writeBytes(const std::string& path, const RecorderSettings& s,
                            const RecordList* records) {
    static const RecordList kNone;
    const RecordList& list = records != nullptr ? *records : kNone;
    if (list.size() > static_cast<std::size_t>(INT32_MAX)) {
        error_ = "Failed to save document: " + path + " cannot hold so many records.";
        return 0;
    }
    AtomicFileWriter writer(path);
    bool ok = writer.open();
    const std::string head = encodeHead(s, list.size());
    ok = ok && writer.write(head.data(), head.size());
    char chunk[kSaveChunkRecords * kRecordOnDisk];
    for (std::size_t done = 0; ok && done < list.size();) {
        const std::size_t n = std::min(kSaveChunkRecords, list.size() - done);
        char* p = chunk;
        for (std::size_t i = 0; i < n; ++i, p += kRecordOnDisk) {
            encodeRecord(p, list[done + i]);
        }
        ok = writer.write(chunk, n * kRecordOnDisk);
        done += n;
    }
    char tail[4];
    putI32(tail, nextAddress);
    ok = ok && writer.write(tail, sizeof tail) && writer.commit();
    if (!ok) {
        error_ = "Failed to save document " + path + ": " + writer.error();
        return 0;
    }
    return 1;
}

int CVeldrinDoc::save(const std::string& path) {
    error_.clear();
    notice_.clear();
    if (!moveAsideIfDamaged(path)) {
        return 0;
    }
    return writeBytes(path, settings, target_);
}

int CVeldrinDoc::createEmpty(const std::string& path, const RecorderSettings& fresh) {
    error_.clear();
    notice_.clear();
    if (!moveAsideIfDamaged(path)) {
        return 0;
    }
    if (holdsRecords(path) && !moveAside(path, "orphaned")) {
        return 0;
    }
    std::string error;
    if (!writeFileAtomically(path, encodeDataFile(fresh, {}, 0), error)) {
        error_ = "Failed to save document " + path + ": " + error;
        return 0;
    }
    return 1;
}

} // namespace veldrin
