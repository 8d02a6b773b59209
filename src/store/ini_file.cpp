#include "store/ini_file.h"

namespace veldrin {

IniFile::IniFile(std::string path) : path_(std::move(path)) {}
int32_t IniFile::readInt(const std::string&, const std::string&, int32_t d) const {
    return d;
}
std::string IniFile::readString(const std::string&, const std::string&, const std::string& d,
                                std::size_t) const {
    return d;
}
bool IniFile::writeString(const std::string&, const std::string&, const std::string&) {
    return false;
}
bool IniFile::writeInt(const std::string&, const std::string&, int32_t) {
    return false;
}

} // namespace veldrin
