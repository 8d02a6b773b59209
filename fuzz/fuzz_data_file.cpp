// The data file (N.dat) as it comes from disk: the decoder in memory and from a file, the settings
// peek, the re-encoding, what is done with a loaded history (list rows, CSV, the command-line time
// text) and a download appended onto it, which may re-time the whole stored history.

#include "analysis/statistics.h"
#include "cli/alarm_text.h"
#include "cli/cli_context.h"
#include "core/atomic_file.h"
#include "core/clock.h"
#include "export/csv_export.h"
#include "export/record_list.h"
#include "fuzz_support.h"
#include "store/data_file.h"
#include "store/data_store.h"
#include "store/ini_file.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>

namespace {

using namespace veldrin;

bool sameBits(double a, double b) {
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

bool sameRecord(const HistoryRecord& a, const HistoryRecord& b) {
    return sameBits(a.temperature, b.temperature) && sameBits(a.timeValue, b.timeValue) &&
           sameBits(a.downloadTimeValue, b.downloadTimeValue) && a.interval == b.interval &&
           a.humidity == b.humidity && a.timeStatus == b.timeStatus &&
           a.downloadTimeStatus == b.downloadTimeStatus;
}

bool sameRecords(const RecordList& a, const RecordList& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!sameRecord(a[i], b[i])) {
            return false;
        }
    }
    return true;
}

// The file holds its description without a NUL unit: then it is re-encoded byte for byte.
bool descriptionHasNoNul(std::string_view bytes) {
    const std::size_t units = static_cast<unsigned char>(bytes[32]) |
                              static_cast<std::size_t>(static_cast<unsigned char>(bytes[33])) << 8;
    for (std::size_t i = 0; i < units; ++i) {
        if (bytes[36 + 2 * i] == 0 && bytes[37 + 2 * i] == 0) {
            return false;
        }
    }
    return true;
}

void showEverywhere(const DataFileContent& content) {
    const DateTime first = DateTime::fromFields(100, 1, 1);
    const DateTime last = DateTime::fromFields(9999, 12, 31, 23, 59, 59);
    std::size_t rows = 0;
    forEachRecordRow(content.settings, content.records, first, last,
                     [&](const RecordRow&) { ++rows; });
    FUZZ_REQUIRE(rows <= content.records.size());
    std::size_t csvBytes = 0;
    writeRecordCsv(content.settings, content.records, first, last, [&](std::string_view piece) {
        csvBytes += piece.size();
        return true;
    });
    FUZZ_REQUIRE(csvBytes > 0);
    for (const HistoryRecord& r : content.records) {
        FUZZ_REQUIRE(!cli::timeText(r.time()).empty());
        FUZZ_REQUIRE(!cli::timeText(r.downloadTime()).empty());
    }
    // The statistics and their texts, with limits taken from the damaged values themselves, so
    // that huge or odd numbers reach every conversion.
    AlarmLimits limits;
    if (!content.records.empty()) {
        const double high = content.records.front().temperature;
        const double low = content.records.back().temperature;
        if (std::isfinite(high) && std::isfinite(low) && low <= high) {
            limits.tempHigh = high; // as main.ini may hold them: finite, not crossed
            limits.tempLow = low;
        }
        limits.humHigh = content.records.front().humidity;
        limits.delayMinutes = std::max(0, content.records.back().interval);
    }
    const bool fahrenheit = content.settings.tempUnit != 0;
    const WindowStatistics stats =
        computeStatistics(content.records, first, last, fahrenheit, limits);
    FUZZ_REQUIRE(!cli::statisticsJson(0, stats, limits).empty());
    FUZZ_REQUIRE(!cli::statisticsLines(0, stats, limits).empty());
    FUZZ_REQUIRE(!cli::limitLines(limits, fahrenheit).empty());
}

void readFromFile(const std::string& bytes, const DataFileContent* decoded) {
    const std::string path = fuzz::scratch().file("0.dat");
    std::string error;
    FUZZ_REQUIRE(writeFileAtomically(path, bytes, error));
    ManualClock clock;
    CVeldrinDoc doc(clock);
    RecordList target(3); // replaced on success, kept on failure
    doc.setTarget(&target);
    const int opened = doc.open(path);
    FUZZ_REQUIRE((opened != 0) == (decoded != nullptr));
    RecorderSettings peeked;
    const int peekedOk = doc.peekSettings(path, peeked);
    if (decoded == nullptr) {
        FUZZ_REQUIRE(target.size() == 3);
        return;
    }
    FUZZ_REQUIRE(sameRecords(target, decoded->records));
    FUZZ_REQUIRE(doc.nextAddress == decoded->nextAddress);
    FUZZ_REQUIRE(doc.settings.description == decoded->settings.description);
    FUZZ_REQUIRE(peekedOk != 0);
    FUZZ_REQUIRE(peeked.description == decoded->settings.description);
}

// A download of two records appended onto the file as the connected recorder's history.
void appendOnto(const std::string& bytes, const DataFileContent* decoded) {
    const fuzz::ScratchFolder& dir = fuzz::scratch();
    dir.clear();
    std::string error;
    FUZZ_REQUIRE(
        writeFileAtomically(dir.file("main.ini"), "[Drive ID]\nMaxID=1\nID0000000=1,1,1\n", error));
    FUZZ_REQUIRE(writeFileAtomically(dir.file("0.dat"), bytes, error));
    ManualClock clock;
    IniFile ini(dir.file("main.ini"));
    DataStore store(dir.path(), ini, clock);
    FUZZ_REQUIRE(store.loadAtStartUp() == 0);
    const std::size_t loaded = decoded != nullptr ? decoded->records.size() : 0;
    FUZZ_REQUIRE(store.connectedCount() == loaded);

    DownloadedBatch batch;
    batch.records.assign(2, RawRecord{650, 50, 10});
    batch.continues = true;
    batch.newNextAddress = 520;
    FUZZ_REQUIRE(store.appendDownloaded(batch) == 1);

    std::string saved;
    FUZZ_REQUIRE(readWholeFile(dir.file("0.dat"), saved, error));
    DataFileContent after;
    FUZZ_REQUIRE(decodeDataFile(saved, after, error));
    FUZZ_REQUIRE(after.records.size() == loaded + 2);
    FUZZ_REQUIRE(after.nextAddress == 520);
    if (decoded == nullptr && !bytes.empty()) {
        // A file that could not be read is kept aside, never written over.
        bool kept = false;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            std::string aside;
            kept = kept || (entry.path().filename().string().rfind("0.dat.damaged-", 0) == 0 &&
                            readWholeFile(entry.path().string(), aside, error) && aside == bytes);
        }
        FUZZ_REQUIRE(kept);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    DataFileContent content;
    std::string message;
    const bool ok = decodeDataFile(bytes, content, message);
    FUZZ_REQUIRE(ok == message.empty());
    if (ok) {
        FUZZ_REQUIRE(content.settings.description.size() <= 255);
        const std::string again =
            encodeDataFile(content.settings, content.records, content.nextAddress);
        if (descriptionHasNoNul(bytes)) {
            FUZZ_REQUIRE(again == bytes);
        }
        DataFileContent second;
        FUZZ_REQUIRE(decodeDataFile(again, second, message));
        FUZZ_REQUIRE(sameRecords(second.records, content.records));
        showEverywhere(content);
    }
    readFromFile(bytes, ok ? &content : nullptr);
    appendOnto(bytes, ok ? &content : nullptr);
    return 0;
}
