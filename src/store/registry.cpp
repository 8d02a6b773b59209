#include "store/registry.h"

namespace veldrin {

int32_t readMaxId(const IniFile& ini) {
    return ini.readInt(kRegistrySection, "MaxID", 0);
}
void writeMaxId(IniFile& ini, int32_t value) {
    ini.writeInt(kRegistrySection, "MaxID", value);
}
std::string registryKey(int32_t) {
    return {};
}
RegistryOutcome recognizeRecorder(IniFile&, const RecorderIdentity&) {
    return {};
}
RegistryOutcome registerNewRecorder(IniFile&, int64_t) {
    return {};
}
bool registeredIdentity(const IniFile&, int32_t, RecorderIdentity&) {
    return false;
}

} // namespace veldrin
