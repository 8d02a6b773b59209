// Writes the seed corpus of the fuzz targets: files of each kind as the program itself writes them.
//   veldrin-fuzz-seeds <corpus folder>
// makes <folder>/<target>/seed-N for every target.

#include "core/atomic_file.h"
#include "device/logger_header.h"
#include "store/data_file.h"
#include "store/ini_file.h"
#include "store/registry.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace veldrin;

bool put(const std::string& folder, const std::string& target, int n, const std::string& bytes) {
    const std::string dir = folder + "/" + target;
    std::filesystem::create_directories(dir);
    std::string error;
    if (!writeFileAtomically(dir + "/seed-" + std::to_string(n), bytes, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

std::string dataFile(int records, const std::u16string& description, int32_t nextAddress) {
    RecorderSettings s;
    s.tempUnit = 1;
    s.dateOrder = 1;
    s.interval = 10;
    s.lastBlock = 3;
    s.versionMajor = 1;
    s.recorderNumber = 2;
    s.description = description;
    s.slots[0].start = DateTime::fromFields(2026, 12, 7, 8, 0);
    s.slots[0].end = DateTime::fromFields(2026, 12, 7, 18, 0);
    s.slots[0].inUse = 1;
    RecordList list;
    for (int i = 0; i < records; ++i) {
        HistoryRecord r;
        r.temperature = 20.0 + 0.1 * i;
        r.humidity = static_cast<int8_t>(40 + i);
        r.interval = 10;
        r.setTime(DateTime::fromFields(2026, 12, 7, 12, 10 * i));
        r.setDownloadTime(DateTime::fromFields(2026, 12, 7, 13, 0));
        list.push_back(r);
    }
    return encodeDataFile(s, list, nextAddress);
}

std::string mainIni(const std::string& folder) {
    const std::string path = folder + "/main.ini";
    std::filesystem::remove(path);
    IniFile ini(path);
    ini.writeString(kWebsiteSection, "internet", "https://example.org/veldrin");
    registerNewRecorder(ini, 1'765'000'000);
    recognizeRecorder(ini, RecorderIdentity{35, 5, 7});
    ini.writeInt(kLanguageSection, "Lang", 1);
    std::string text;
    std::string error;
    readWholeFile(path, text, error);
    std::filesystem::remove(path);
    return text;
}

std::string utf16File(const std::vector<std::u16string>& lines) {
    std::string out = "\xFF\xFE";
    for (const std::u16string& line : lines) {
        for (char16_t c : line + u"\r\n") {
            out.push_back(static_cast<char>(c & 0xFF));
            out.push_back(static_cast<char>(c >> 8));
        }
    }
    return out;
}

std::string headerSeed(bool withIdentity) {
    HeaderImage h;
    h.fill(0xFF);
    h[header::interval] = 10;
    h[header::lastBlock] = 5;
    h[header::wrapMarker] = 5;
    h[header::slotsInUse] = 1;
    h[header::versionMajor] = 1;
    h[header::versionMinor] = 3;
    const uint8_t clock[6] = {26, 12, 7, 12, 0, 0};
    std::copy(clock, clock + 6, h.begin() + header::clock);
    const uint8_t slot[10] = {11, 3, 31, 23, 59, 12, 1, 1, 0, 0};
    std::copy(slot, slot + 10, h.begin() + header::slotOffset(0));
    h[header::slotOffset(0) + 12] = 1;
    h[header::slotOffset(0) + 13] = 0;
    h[header::circularMode] = 0x00;
    if (withIdentity) {
        storeIdentity(h, RecorderIdentity::fromUnixTime(1'765'000'000));
    }
    std::string out(h.begin(), h.end());
    for (int raw : {500, 300, 1200, 0}) {
        const auto r = encodeRecord(raw, 50, 10);
        out.append(r.begin(), r.end());
    }
    out.append("\x81\xF4\x32\x0A\x04\xB1\x32\x0A\xFF\xFF\xFF\xFF", 12);
    return out;
}

// Setup bytes of the download target, then `steps` steps that pass the recorder's answers.
std::string download(std::vector<uint8_t> setup, int steps,
                     std::vector<std::pair<int, uint8_t>> faults = {}) {
    setup.resize(16, 0);
    std::string out(setup.begin(), setup.end());
    std::string passes(static_cast<std::size_t>(steps) * 9, '\0');
    for (const auto& [step, op] : faults) {
        passes[static_cast<std::size_t>(step) * 9] = static_cast<char>(op);
        for (int i = 1; i < 9; ++i) {
            passes[static_cast<std::size_t>(step) * 9 + i] = static_cast<char>(0x30 + i);
        }
    }
    return out + passes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: veldrin-fuzz-seeds <corpus folder>\n");
        return 1;
    }
    const std::string folder = argv[1];
    std::filesystem::create_directories(folder);
    bool ok = put(folder, "fuzz_data_file", 1, dataFile(0, u"", 0)) &&
              put(folder, "fuzz_data_file", 2, dataFile(3, u"cellar \u00e9", 268));
    const std::string ini = mainIni(folder);
    ok = ok && put(folder, "fuzz_ini", 1, ini) &&
         put(folder, "fuzz_ini", 2, ini + std::string(1, '\0') + "Drive ID\x01MaxID\x01 7 ");
    ok = ok && put(folder, "fuzz_language_file", 1,
                   utf16File({u"\uFEFFEnglish", u"Language", u"English", u"German", u"French",
                              u"slot %d of %d", u"100%%", u"error %5d", u"  "}));
    ok = ok && put(folder, "fuzz_device_codec", 1, headerSeed(true)) &&
         put(folder, "fuzz_device_codec", 2, headerSeed(false));
    // Setup byte 0: 1 identity in the recorder, 2 known to the PC, 4 never set up, 8 linear
    // (with 32: no circular mode), 16 two time slots, 64 a second start of the program.
    ok = ok && put(folder, "fuzz_download", 1, download({0x00, 1, 44, 1}, 8)) &&
         put(folder, "fuzz_download", 2,
             download({0x43, 1, 200, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x01, 0, 0, 20}, 8)) &&
         put(folder, "fuzz_download", 3, download({0x18, 1, 100, 0, 0, 0, 0xFA, 12, 3, 6}, 8)) &&
         put(folder, "fuzz_download", 4, download({0x04, 1, 0, 0, 0x00}, 4)) &&
         put(folder, "fuzz_download", 5, download({0x01, 1, 120}, 48, {{3, 6}, {10, 7}, {40, 5}}));
    return ok ? 0 : 1;
}
