#include "acquisition/store_target.h"

namespace veldrin {

void StoreTarget::progress(int count) {
    reports_.postLoggerStatus(count, status::progress);
}

void StoreTarget::handOver(const DownloadBatch& batch) {
    DownloadedBatch converted;
    converted.records.resize(batch.records.size());
    for (std::size_t i = 0; i < batch.records.size(); ++i) {
        HistoryRecord& r = converted.records[i];
        r.temperature = batch.records[i].raw;
        r.humidity = static_cast<int8_t>(batch.records[i].humidity);
        r.interval = batch.records[i].interval;
    }
    converted.mode =
        batch.slotMode ? DownloadedBatch::Mode::slot : DownloadedBatch::Mode::continuous;
    converted.continues = batch.continued;
    converted.beganAtSlotStart = batch.beganAtFirstBlock;
    converted.slotStart = batch.slotStart;
    converted.newNextAddress = batch.newNextAddress;
    store_.appendDownloaded(converted);
}

} // namespace veldrin
