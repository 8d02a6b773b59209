#pragma once
// The registry of known recorders in main.ini, section "Drive ID": MaxID (number of entries), ID
// (the number most recently registered or recognised) and one entry "ID%07d" per recorder number
// holding its identity. Pure functions over the INI file; the identity writes into the recorder
// are the caller's.

#include "core/clock.h"
#include "core/recorder_types.h"
#include "store/ini_file.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>

namespace veldrin {

constexpr const char* kRegistrySection = "Drive ID";
constexpr const char* kLanguageSection = "Language Current";
constexpr const char* kWebsiteSection = "Website";

// More recorders than one PC will ever meet; MaxID is never taken as more than this.
constexpr int32_t kMaxRegisteredRecorders = 10000;

// MaxID as the registry may use it. MaxID counts the entries; a registry whose MaxID disagrees
// with the entries present is damaged (one mutated digit is enough): MaxID beyond the highest entry
// (or beyond kMaxRegisteredRecorders), MaxID below it, or missing, 0 or negative while entries are
// there. A main.ini that is there but cannot be read (too large, not a regular file) is damaged as
// well. `damage` says so in words for the user, and `count` is what may still be read: the entries
// present, so that every recorder whose entry is there is seen as itself. A damaged registry is
// never written (see recognizeRecorder and registerNewRecorder): its data files are not touched
// until the user has mended main.ini. Without entries a negative MaxID counts as 0, unreported.
struct RegistryCount {
    int32_t count = 0;
    int32_t stored = 0; // MaxID as written
    std::string damage;
    bool damaged() const { return !damage.empty(); }
};
RegistryCount registeredCount(const IniSnapshot& ini);

// registeredCount(...).count, read afresh from the file.
int32_t readMaxId(const IniFile& ini);
void writeMaxId(IniFile& ini, int32_t value);
std::string registryKey(int32_t number); // "ID0000003"

struct RegistryOutcome {
    int32_t number = -1; // -1: nothing registered (a damaged registry, main.ini not written)
    bool isNew = false;
    RecorderIdentity identity;
    // Empty when every write of main.ini succeeded; otherwise the first failure, or why a damaged
    // registry was not written.
    std::string error;
};

// A recorder whose header carries a valid identity: finds its number (reusing an emptied entry,
// or a new one past MaxID), writes ID, MaxID and the entry in the "%u,%d,%d" form in one
// replacement of the file. In a damaged registry nothing is written: a recorder whose entry is
// there keeps its number, any other gets -1 with the damage in `error`.
RegistryOutcome recognizeRecorder(IniFile& ini, const RecorderIdentity& identity);

// The seconds this program has made identities from, so that it never makes one twice, even when
// the registry write of the first failed.
class IssuedIdentities {
public:
    bool contains(int64_t seconds) const { return seconds_.count(seconds) != 0; }
    void add(int64_t seconds) { seconds_.insert(seconds); }

private:
    std::set<int64_t> seconds_;
};

// A recorder without a valid identity: new number MaxID, new identity from the clock, entry
// written in the "%d,%d,%d" form. The caller writes the identity into the recorder. The identity
// differs from every identity in the registry and every one in `issued`: when the clock's second
// is taken (two recorders registered within one second) the next free second is used, skipping
// seconds whose high x low is 0. A negative MaxID (edited by hand) counts as 0. In a damaged
// registry nothing is written and the number is -1.
RegistryOutcome registerNewRecorder(IniFile& ini, int64_t unixSeconds, IssuedIdentities& issued);
// The same, with the identity given to the recorder before main.ini names it: `carry` writes it
// into the recorder and says whether the recorder may be registered. When it says no (the recorder
// went before it took the identity), nothing is written, the number is -1 and `error` is empty,
// so that no number is ever left registered to an identity that no recorder carries.
RegistryOutcome registerNewRecorder(IniFile& ini, int64_t unixSeconds, IssuedIdentities& issued,
                                    const std::function<bool(const RecorderIdentity&)>& carry);
RegistryOutcome registerNewRecorder(IniFile& ini, int64_t unixSeconds);
RegistryOutcome registerNewRecorder(IniFile& ini, Clock& clock);

// The identity stored for a number, when its entry parses.
bool registeredIdentity(const IniFile& ini, int32_t number, RecorderIdentity& out);
bool registeredIdentity(const IniSnapshot& ini, int32_t number, RecorderIdentity& out);

} // namespace veldrin
