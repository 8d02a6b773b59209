#include "store/data_file.h"

namespace veldrin {

std::string dataFilePath(const std::string& folder, int32_t number) {
    return folder + "/" + std::to_string(number) + ".dat";
}

CVeldrinDoc::CVeldrinDoc(Clock& clock) : clock_(clock) {}

int CVeldrinDoc::open(const std::string&) {
    return 0;
}
int CVeldrinDoc::save(const std::string&) {
    return 0;
}
int CVeldrinDoc::createEmpty(const std::string&) {
    return 0;
}
int CVeldrinDoc::peekSettings(const std::string&, RecorderSettings&) {
    return 0;
}

} // namespace veldrin
