#pragma once
// The registry of known recorders in main.ini, section "Drive ID": MaxID (number of entries), ID
// (the number most recently registered or recognised) and one entry "ID%07d" per recorder number
// holding its identity. Pure functions over the INI file; the identity writes into the recorder
// are the caller's.

#include "core/clock.h"
#include "core/recorder_types.h"
#include "store/ini_file.h"

#include <cstdint>
#include <string>

namespace veldrin {

constexpr const char* kRegistrySection = "Drive ID";
constexpr const char* kLanguageSection = "Language Current";
constexpr const char* kWebsiteSection = "Website";

// More recorders than one PC will ever meet; MaxID is never taken as more than this.
constexpr int32_t kMaxRegisteredRecorders = 10000;

// MaxID as the registry may use it. MaxID counts the entries, so a value beyond the highest entry
// present (or beyond kMaxRegisteredRecorders) is damage, one mutated digit being enough to make it
// millions: the count is then cut back to the entries that exist and `damage` says so, in words
// for the user. A negative MaxID (edited by hand) counts as 0 and is not reported.
struct RegistryCount {
    int32_t count = 0;
    int32_t stored = 0; // MaxID as written
    std::string damage;
};
RegistryCount registeredCount(const IniSnapshot& ini);

// registeredCount(...).count, read afresh from the file.
int32_t readMaxId(const IniFile& ini);
void writeMaxId(IniFile& ini, int32_t value);
std::string registryKey(int32_t number); // "ID0000003"

struct RegistryOutcome {
    int32_t number = -1;
    bool isNew = false;
    RecorderIdentity identity;
    // Empty when every write of main.ini succeeded; otherwise the first failure.
    std::string error;
};

// A recorder whose header carries a valid identity: finds its number (reusing an emptied entry,
// or a new one past MaxID), writes ID and the entry in the "%u,%d,%d" form.
RegistryOutcome recognizeRecorder(IniFile& ini, const RecorderIdentity& identity);

// A recorder without a valid identity: new number MaxID, new identity from the clock, entry
// written in the "%d,%d,%d" form. The caller writes the identity into the recorder.
// In both, a negative MaxID (edited by hand) counts as 0.
RegistryOutcome registerNewRecorder(IniFile& ini, int64_t unixSeconds);
RegistryOutcome registerNewRecorder(IniFile& ini, Clock& clock);

// The identity stored for a number, when its entry parses.
bool registeredIdentity(const IniFile& ini, int32_t number, RecorderIdentity& out);
bool registeredIdentity(const IniSnapshot& ini, int32_t number, RecorderIdentity& out);

} // namespace veldrin
