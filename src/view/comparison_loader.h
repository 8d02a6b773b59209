#pragma once
// Reads recorders' data files for the comparison of several recorders, off the window thread: a
// history of a million records takes a noticeable time to read and decode, and the window must
// stay responsive meanwhile. Each file read is handed to the window thread through `loaded`, with
// the records' time order (made here too: a pass over every record).

#include "core/recorder_types.h"
#include "core/time_order.h"
#include "store/data_file.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace veldrin {

struct LoadedRecorder {
    int32_t number = -1;
    RecorderSettings settings;
    std::shared_ptr<const RecordList> records; // null when the file could not be read
    std::shared_ptr<const TimeOrder> order;    // of `records`, for the readout
    std::string path;
    OpenFailure failure = OpenFailure::none;
};

class ComparisonLoader : public QObject {
    Q_OBJECT
public:
    explicit ComparisonLoader(std::string dataFolder, QObject* parent = nullptr);
    // Stops after the file being read (a result not yet delivered is dropped) and joins.
    ~ComparisonLoader() override;

    // Reads the recorder's file after those asked for before; the result comes through `loaded`
    // on the window thread.
    void load(int32_t number);
    // Drops the requests not started yet (the recorders are no longer wanted).
    void cancelWaiting();
    // Requests asked for and not yet delivered.
    int pending() const { return pending_; }

Q_SIGNALS:
    void loaded(const veldrin::LoadedRecorder& result);

private:
    void run();
    LoadedRecorder read(int32_t number) const;

    std::string folder_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<int32_t> waiting_;
    bool stopping_ = false;
    int pending_ = 0; // window thread only
    std::thread thread_;
};

} // namespace veldrin
