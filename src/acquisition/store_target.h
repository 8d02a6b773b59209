#pragma once
// Hands the download's batches to the data store (time-stamped, scaled, appended and saved there)
// and its progress to the window side as report 6.

#include "acquisition/history_download.h"
#include "acquisition/logger_messages.h"
#include "store/data_store.h"

#include <cstddef>

namespace veldrin {

class StoreTarget final : public DownloadTarget {
public:
    StoreTarget(DataStore& store, ReportSink& reports) : store_(store), reports_(reports) {}
    void progress(int count) override;
    void handOver(const DownloadedBatch& batch) override;
    // Records handed to the store so far.
    std::size_t recordsHandedOver() const { return handedOver_; }

private:
    DataStore& store_;
    ReportSink& reports_;
    std::size_t handedOver_ = 0;
};

} // namespace veldrin
