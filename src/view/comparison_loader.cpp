#include "view/comparison_loader.h"

namespace veldrin {

ComparisonLoader::ComparisonLoader(std::string dataFolder, QObject* parent)
    : QObject(parent), folder_(std::move(dataFolder)), thread_([this] { run(); }) {}

ComparisonLoader::~ComparisonLoader() {
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
        waiting_.clear();
    }
    wake_.notify_all();
    thread_.join();
}

void ComparisonLoader::load(int32_t number) {
    ++pending_;
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        waiting_.push_back(number);
    }
    wake_.notify_all();
}

void ComparisonLoader::cancelWaiting() {
    const std::lock_guard<std::mutex> guard(mutex_);
    pending_ -= static_cast<int>(waiting_.size());
    waiting_.clear();
}

void ComparisonLoader::run() {
    for (;;) {
        int32_t number = -1;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
            if (stopping_) {
                return;
            }
            number = waiting_.front();
            waiting_.pop_front();
        }
        LoadedRecorder result = read(number);
        // Delivered on the window thread; dropped with this object if it is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, result = std::move(result)] {
                --pending_;
                Q_EMIT loaded(result);
            },
            Qt::QueuedConnection);
    }
}

LoadedRecorder ComparisonLoader::read(int32_t number) const {
    LoadedRecorder result;
    result.number = number;
    result.path = dataFilePath(folder_, number);
    DataFileContent content;
    std::string message;
    if (!readDataFile(result.path, content, result.failure, message)) {
        return result;
    }
    result.settings = std::move(content.settings);
    result.records = std::make_shared<const RecordList>(std::move(content.records));
    result.order = std::make_shared<const TimeOrder>(*result.records);
    return result;
}

} // namespace veldrin
