// main.ini as it comes from disk: the reader, the registry over it (count, entries, recognition)
// and the writer's round trip. The input is the file; when it holds a NUL byte, what follows the
// first one is a write request "section\x01key\x01value" and only what precedes it is the file.

#include "core/atomic_file.h"
#include "fuzz_support.h"
#include "store/ini_file.h"
#include "store/registry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace veldrin;

const char* const kKnownSections[] = {"Drive ID", "Language Current", "Website"};

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

// What reading gives for a value that was written: blanks trimmed, one pair of quotes removed.
std::string readBack(std::string_view value) {
    value = trimBlanks(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

struct Entry {
    std::string section;
    std::string key;
    std::string value;
};

std::vector<Entry> knownEntries(const IniSnapshot& ini, const std::string& extraSection) {
    std::vector<Entry> out;
    std::vector<std::string> sections(std::begin(kKnownSections), std::end(kKnownSections));
    sections.push_back(extraSection);
    for (const std::string& section : sections) {
        for (const std::string& key : ini.keys(section)) {
            out.push_back({section, key, ini.value(section, key).value_or("")});
        }
    }
    return out;
}

bool sameFolded(std::string a, std::string b) {
    for (std::string* s : {&a, &b}) {
        for (char& c : *s) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
    }
    return trimBlanks(a) == trimBlanks(b);
}

void checkRegistry(const std::string& path, uint32_t seed) {
    IniFile ini(path);
    const IniSnapshot before = ini.snapshot();
    const RegistryCount count = registeredCount(before);
    FUZZ_REQUIRE(count.count >= 0 && count.count <= kMaxRegisteredRecorders);
    FUZZ_REQUIRE(!count.damage.empty() || count.count == std::max(count.stored, 0));
    std::string bytesBefore;
    std::string error;
    const bool readBefore = readWholeFile(path, bytesBefore, error);
    for (int32_t n = 0; n < count.count; ++n) {
        RecorderIdentity id;
        registeredIdentity(before, n, id);
    }
    RecorderIdentity id;
    id.high = static_cast<uint16_t>((seed >> 16) | 1);
    id.low = static_cast<uint16_t>(seed | 1);
    id.product = static_cast<uint32_t>(uint32_t{id.high} * id.low);
    const RegistryOutcome first = recognizeRecorder(ini, id);
    if (count.damaged()) {
        // A damaged registry is never written; a recorder is found only under its own entry.
        std::string bytesAfter;
        FUZZ_REQUIRE(!readBefore ||
                     (readWholeFile(path, bytesAfter, error) && bytesAfter == bytesBefore));
        RecorderIdentity at;
        FUZZ_REQUIRE(first.number < 0 ||
                     (registeredIdentity(before, first.number, at) && at == id && !first.isNew));
        return;
    }
    if (!first.error.empty()) {
        return;
    }
    FUZZ_REQUIRE(first.number >= 0 && first.number <= count.count);
    FUZZ_REQUIRE(readMaxId(ini) > first.number);
    RecorderIdentity stored;
    FUZZ_REQUIRE(registeredIdentity(ini, first.number, stored) && stored == id);
    const RegistryOutcome second = recognizeRecorder(ini, id);
    FUZZ_REQUIRE(second.number == first.number && !second.isNew);
}

void checkWrite(const std::string& path, const std::string& request) {
    const std::size_t a = request.find('\x01');
    const std::size_t b = a == std::string::npos ? a : request.find('\x01', a + 1);
    if (b == std::string::npos) {
        return;
    }
    const std::string section = request.substr(0, a);
    const std::string key = request.substr(a + 1, b - a - 1);
    const std::string value = request.substr(b + 1);
    IniFile ini(path);
    const IniSnapshot before = ini.snapshot();
    std::string old;
    std::string error;
    readWholeFile(path, old, error);
    if (!ini.writeString(section, key, value)) {
        std::string now;
        FUZZ_REQUIRE(readWholeFile(path, now, error) && now == old); // refused: nothing changed
        return;
    }
    const IniSnapshot after = ini.snapshot();
    FUZZ_REQUIRE(after.value(section, key) == readBack(value));
    for (const Entry& e : knownEntries(before, section)) {
        if (sameFolded(e.section, section) && sameFolded(e.key, key)) {
            continue;
        }
        FUZZ_REQUIRE(after.value(e.section, e.key) == e.value);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string content = input.substr(0, nul);
    const std::string request = nul == std::string::npos ? std::string() : input.substr(nul + 1);

    const IniSnapshot parsed = IniSnapshot::parse(content);
    for (const char* section : kKnownSections) {
        for (const std::string& key : parsed.keys(section)) {
            parsed.readInt(section, key, 0);
            FUZZ_REQUIRE(parsed.readString(section, key, "", 63).size() <= 63 * 4);
        }
    }

    const std::string path = fuzz::scratch().file("main.ini");
    std::string error;
    FUZZ_REQUIRE(writeFileAtomically(path, content, error));
    checkWrite(path, request);
    FUZZ_REQUIRE(writeFileAtomically(path, content, error));
    uint32_t seed = 2166136261u;
    for (unsigned char c : input) {
        seed = (seed ^ c) * 16777619u;
    }
    checkRegistry(path, seed);
    return 0;
}
