#include "acquisition/store_target.h"

namespace veldrin {

void StoreTarget::progress(int count) {
    reports_.postLoggerStatus(count, status::progress);
}

void StoreTarget::handOver(const DownloadedBatch& batch) {
    handedOver_ += batch.records.size();
    store_.appendDownloaded(batch);
}

} // namespace veldrin
