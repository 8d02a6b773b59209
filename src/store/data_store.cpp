#include "store/data_store.h"

namespace veldrin {

DataStore::DataStore(std::string dataFolder, IniFile& ini, Clock& clock)
    : folder_(std::move(dataFolder)), ini_(ini), clock_(clock), document_(clock) {}

std::string DataStore::dataFilePath(int32_t number) const {
    return veldrin::dataFilePath(folder_, number);
}
int32_t DataStore::loadAtStartUp() {
    return -1;
}
int DataStore::loadBothSets(int32_t) {
    return 0;
}
int DataStore::loadDisplayedSet(int32_t) {
    return 0;
}
int DataStore::readFileSettings(int32_t, RecorderSettings&) {
    return 0;
}
int DataStore::startNewRecorder(int32_t) {
    return 0;
}
int DataStore::adoptRecognisedRecorder(int32_t, int32_t, bool) {
    return 0;
}
int DataStore::createEmptyFile(int32_t) {
    return 0;
}
int DataStore::refreshFromHeader(const HeaderImage&, int32_t) {
    return 0;
}
int DataStore::appendDownloaded(const DownloadedBatch&) {
    return 0;
}
int32_t DataStore::nextAddress() const {
    return 0;
}
void DataStore::setNextAddress(int32_t) {}
RecorderSettings DataStore::connectedSettings() const {
    return {};
}
void DataStore::setConnectedSettings(const RecorderSettings&) {}
RecorderSettings DataStore::displayedSettings() const {
    return {};
}
std::size_t DataStore::connectedCount() const {
    return 0;
}
std::size_t DataStore::displayedCount() const {
    return 0;
}
int DataStore::clearRecorder(int32_t) {
    return 0;
}

} // namespace veldrin
