#pragma once
// The history download: reads from the recorder the records the PC does not have yet, from the
// stored next address up to the end of the newest block (or per time slot), reading every 32-byte
// unit twice until both reads agree, drops implausible records and hands the rest over as batches
// in the form the store takes them.

#include "core/date_time.h"
#include "core/recorder_types.h"
#include "device/logger_link.h"
#include "store/data_store.h"

#include <cstdint>

namespace veldrin {

class DownloadTarget {
public:
    virtual ~DownloadTarget() = default;
    // Records decoded so far in this download, after each complete 32-byte unit.
    virtual void progress(int count) = 0;
    virtual void handOver(const DownloadedBatch& batch) = 0;
};

// Two reads of a unit that keep disagreeing end the download as a failed read after this many
// repetitions: a recorder writing into the unit settles within one or two.
constexpr int kMaxDisagreeingRereads = 16;

// 1 when done (also with nothing to fetch), 0 when a recorder read failed part-way.
int DownloadHistory(LoggerLink& link, const RecorderSettings& settings, int32_t storedNextAddress,
                    const DateTime& now, DownloadTarget& target);

// The stored next address as the download may use it: a value that cannot be an address of the
// record area where a download stopped (it comes from a file) counts as 0.
int32_t usableNextAddress(int32_t stored);

} // namespace veldrin
