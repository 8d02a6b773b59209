#include "store/registry.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace veldrin {
namespace {

constexpr const char* kMaxIdKey = "MaxID";
constexpr const char* kLastIdKey = "ID";
// Entries are read with up to 63 characters, as they were always written.
constexpr std::size_t kEntryLength = 63;

// One number of an entry as a scanf conversion reads it: blanks skipped, an optional sign, at
// least one digit. Numbers beyond 32 bits are refused, so they match no identity.
bool scanNumber(std::string_view& text, int64_t& out) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t firstDigit = i;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 0xFFFFFFFFLL) {
            return false;
        }
    }
    if (i == firstDigit) {
        return false;
    }
    out = negative ? -value : value;
    text.remove_prefix(i);
    return true;
}

bool scanComma(std::string_view& text) {
    if (text.empty() || text.front() != ',') {
        return false;
    }
    text.remove_prefix(1);
    return true;
}

// "%u,%d,%d": the product is taken modulo 2^32, so an entry written with a negative product
// ("%d") reads back as the same identity.
bool parseEntry(const std::string& value, RecorderIdentity& out) {
    std::string_view text = value;
    int64_t product = 0;
    int64_t high = 0;
    int64_t low = 0;
    if (!scanNumber(text, product) || !scanComma(text) || !scanNumber(text, high) ||
        !scanComma(text) || !scanNumber(text, low)) {
        return false;
    }
    if (high < 0 || high > 0xFFFF || low < 0 || low > 0xFFFF) {
        return false;
    }
    out.product = static_cast<uint32_t>(product);
    out.high = static_cast<uint16_t>(high);
    out.low = static_cast<uint16_t>(low);
    return true;
}

std::string recognisedForm(const RecorderIdentity& id) {
    char text[48];
    std::snprintf(text, sizeof text, "%u,%d,%d", static_cast<unsigned>(id.product),
                  static_cast<int>(id.high), static_cast<int>(id.low));
    return text;
}

std::string registeredForm(const RecorderIdentity& id) {
    char text[48];
    std::snprintf(text, sizeof text, "%d,%d,%d", static_cast<int>(static_cast<int32_t>(id.product)),
                  static_cast<int>(id.high), static_cast<int>(id.low));
    return text;
}

// The entry number of a key spelt exactly as registryKey spells it ("id0000003" folded); -1 for
// any other key.
int32_t entryNumber(const std::string& foldedKey) {
    if (foldedKey.size() < 3 || foldedKey.compare(0, 2, "id") != 0) {
        return -1;
    }
    int64_t n = 0;
    for (std::size_t i = 2; i < foldedKey.size(); ++i) {
        const char c = foldedKey[i];
        if (c < '0' || c > '9') {
            return -1;
        }
        n = n * 10 + (c - '0');
        if (n > INT32_MAX) {
            return -1;
        }
    }
    const auto number = static_cast<int32_t>(n);
    return registryKey(number) == "ID" + foldedKey.substr(2) ? number : -1;
}

std::string goingOn(int32_t count) {
    return count == 0 ? "going on with none"
                      : "going on with recorders 0 to " + std::to_string(count - 1);
}

std::string beyondText(int32_t stored, int32_t highestEntry, int32_t count) {
    std::string why;
    if (highestEntry < 0) {
        why = "it holds no recorder entry";
    } else if (highestEntry >= kMaxRegisteredRecorders) {
        why = "no more than " + std::to_string(kMaxRegisteredRecorders) + " recorders are kept";
    } else {
        why = "its entries end at " + registryKey(highestEntry);
    }
    return "main.ini is damaged: MaxID says " + std::to_string(stored) + " recorders, but " + why +
           "; " + goingOn(count) + ".";
}

std::string belowText(const std::optional<std::string>& maxIdText, int32_t stored,
                      int32_t highestEntry, int32_t count) {
    const std::string says = !maxIdText || maxIdText->empty()
                                 ? "it has no MaxID"
                                 : "MaxID says " + std::to_string(stored) + " recorders";
    return "main.ini is damaged: " + says + ", but it holds the entry " +
           registryKey(highestEntry) + "; " + goingOn(count) +
           ", and nothing is registered or saved until MaxID is mended.";
}

// One replacement of main.ini for all the keys of a registration: a failure leaves none of them.
void writeAll(IniFile& ini, const std::vector<std::pair<std::string, std::string>>& entries,
              std::string& error) {
    if (!ini.writeStrings(kRegistrySection, entries)) {
        error = ini.lastError();
    }
}

// A new number that main.ini does not hold is no number: records saved under it would belong to
// whichever recorder main.ini names there next. The recorder is registered at its next connection.
void forgetUnwrittenNumber(RegistryOutcome& outcome) {
    if (outcome.isNew && !outcome.error.empty()) {
        outcome.number = -1;
        outcome.isNew = false;
    }
}

bool sameIdentity(const IniSnapshot& snapshot, const std::string& key,
                  const RecorderIdentity& identity) {
    const std::string entry = snapshot.readString(kRegistrySection, key, "", kEntryLength);
    RecorderIdentity stored;
    return parseEntry(entry, stored) && stored == identity;
}

// Whether any entry, whatever its number, holds `identity`.
bool identityRegistered(const IniSnapshot& snapshot, const RecorderIdentity& identity) {
    for (const std::string& key : snapshot.keys(kRegistrySection)) {
        if (entryNumber(key) >= 0 && sameIdentity(snapshot, key, identity)) {
            return true;
        }
    }
    return false;
}

// The clock's second, or the next one whose identity is valid and taken by nobody.
int64_t freeSecond(const IniSnapshot& snapshot, int64_t seconds, const IssuedIdentities& issued) {
    for (;; ++seconds) {
        const RecorderIdentity id = RecorderIdentity::fromUnixTime(seconds);
        if (id.isValid() && !issued.contains(seconds) && !identityRegistered(snapshot, id)) {
            return seconds;
        }
    }
}

} // namespace

RegistryCount registeredCount(const IniSnapshot& ini) {
    RegistryCount out;
    if (!ini.loadError().empty()) {
        out.damage = ini.loadError();
        return out;
    }
    const std::optional<std::string> maxIdText = ini.value(kRegistrySection, kMaxIdKey);
    out.stored = ini.readInt(kRegistrySection, kMaxIdKey, 0);
    int32_t highest = -1;     // of every entry
    int32_t highestHeld = -1; // of the entries that hold something (an emptied one holds nobody)
    for (const std::string& key : ini.keys(kRegistrySection)) {
        const int32_t number = entryNumber(key);
        highest = std::max(highest, number);
        if (number > highestHeld && !ini.value(kRegistrySection, key).value_or("").empty()) {
            highestHeld = number;
        }
    }
    if (highestHeld >= 0 && out.stored <= highestHeld) {
        out.count = static_cast<int32_t>(
            std::min(int64_t{highestHeld} + 1, int64_t{kMaxRegisteredRecorders}));
        out.damage = belowText(maxIdText, out.stored, highestHeld, out.count);
        return out;
    }
    const int64_t present = int64_t{highest} + 1;
    if (out.stored <= 0) {
        return out;
    }
    out.count = static_cast<int32_t>(
        std::min({int64_t{out.stored}, present, int64_t{kMaxRegisteredRecorders}}));
    if (out.count != out.stored) {
        out.damage = beyondText(out.stored, highest, out.count);
    }
    return out;
}

int32_t readMaxId(const IniFile& ini) {
    return registeredCount(ini.snapshot()).count;
}

void writeMaxId(IniFile& ini, int32_t value) {
    ini.writeString(kRegistrySection, kMaxIdKey, std::to_string(value));
}

std::string registryKey(int32_t number) {
    char key[24];
    std::snprintf(key, sizeof key, "ID%07d", static_cast<int>(number));
    return key;
}

RegistryOutcome recognizeRecorder(IniFile& ini, const RecorderIdentity& identity) {
    const IniSnapshot snapshot = ini.snapshot();
    const RegistryCount registry = registeredCount(snapshot);
    const int32_t count = registry.count;
    RegistryOutcome outcome;
    outcome.identity = identity;
    int32_t i = 0;
    for (; i < count; ++i) {
        const std::string key = registryKey(i);
        if (sameIdentity(snapshot, key, identity)) {
            break;
        }
        if (!registry.damaged() &&
            snapshot.readString(kRegistrySection, key, "", kEntryLength).empty()) {
            break; // an emptied entry is taken over
        }
    }
    if (registry.damaged()) {
        // Read-only: the recorder is itself when its entry is there, and nobody otherwise.
        outcome.number = i < count ? i : -1;
        if (outcome.number < 0) {
            outcome.error = registry.damage;
        }
        return outcome;
    }
    outcome.number = i;
    std::vector<std::pair<std::string, std::string>> entries;
    if (i >= count) {
        outcome.number = count;
        outcome.isNew = true;
        entries.emplace_back(kMaxIdKey, std::to_string(outcome.number + 1));
    }
    entries.emplace_back(kLastIdKey, std::to_string(outcome.number));
    entries.emplace_back(registryKey(outcome.number), recognisedForm(identity));
    writeAll(ini, entries, outcome.error);
    forgetUnwrittenNumber(outcome);
    return outcome;
}

RegistryOutcome registerNewRecorder(IniFile& ini, int64_t unixSeconds, IssuedIdentities& issued) {
    return registerNewRecorder(ini, unixSeconds, issued,
                               [](const RecorderIdentity&) { return true; });
}

RegistryOutcome registerNewRecorder(IniFile& ini, int64_t unixSeconds, IssuedIdentities& issued,
                                    const std::function<bool(const RecorderIdentity&)>& carry) {
    RegistryOutcome outcome;
    const IniSnapshot snapshot = ini.snapshot();
    const RegistryCount registry = registeredCount(snapshot);
    if (registry.damaged()) {
        outcome.error = registry.damage;
        return outcome;
    }
    outcome.number = registry.count;
    outcome.isNew = true;
    const int64_t seconds = freeSecond(snapshot, unixSeconds, issued);
    issued.add(seconds);
    outcome.identity = RecorderIdentity::fromUnixTime(seconds);
    if (!carry(outcome.identity)) {
        outcome.number = -1;
        outcome.isNew = false;
        return outcome;
    }
    writeAll(ini,
             {{kLastIdKey, std::to_string(outcome.number)},
              {kMaxIdKey, std::to_string(outcome.number + 1)},
              {registryKey(outcome.number), registeredForm(outcome.identity)}},
             outcome.error);
    forgetUnwrittenNumber(outcome);
    return outcome;
}

RegistryOutcome registerNewRecorder(IniFile& ini, int64_t unixSeconds) {
    IssuedIdentities none;
    return registerNewRecorder(ini, unixSeconds, none);
}

RegistryOutcome registerNewRecorder(IniFile& ini, Clock& clock) {
    return registerNewRecorder(ini, clock.unixSeconds());
}

bool registeredIdentity(const IniSnapshot& ini, int32_t number, RecorderIdentity& out) {
    const std::string entry =
        ini.readString(kRegistrySection, registryKey(number), "", kEntryLength);
    return !entry.empty() && parseEntry(entry, out);
}

bool registeredIdentity(const IniFile& ini, int32_t number, RecorderIdentity& out) {
    return registeredIdentity(ini.snapshot(), number, out);
}

} // namespace veldrin
