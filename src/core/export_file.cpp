#include "core/export_file.h"

#include "core/atomic_file.h"
#include "core/data_directory_lock.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

// What is the same on every system; what a name stands for and how it is opened are in
// export_file_posix.cpp and export_file_windows.cpp.

namespace veldrin {
namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool isDecimalDataFile(std::string_view name) {
    const std::string_view suffix = ".dat";
    if (name.size() <= suffix.size() || name.substr(name.size() - suffix.size()) != suffix) {
        return false;
    }
    for (const char c : name.substr(0, name.size() - suffix.size())) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

} // namespace

bool isDataFolderFileName(std::string_view name) {
    const auto ownOrCompanion = [name](std::string_view own) {
        return name == own || (startsWith(name, own) && name[own.size()] == '.');
    };
    if (ownOrCompanion("main.ini") || ownOrCompanion(DataDirectoryLock::kFileName)) {
        return true;
    }
    const std::string_view dat = ".dat";
    const auto end = name.find(dat);
    return end != std::string_view::npos && isDecimalDataFile(name.substr(0, end + dat.size())) &&
           (name.size() == end + dat.size() || name[end + dat.size()] == '.');
}

ExportFileWriter::ExportFileWriter(std::string path) : path_(std::move(path)) {}

ExportFileWriter::~ExportFileWriter() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool ExportFileWriter::write(const void* data, std::size_t size) {
    if (replacement_) {
        if (!replacement_->write(data, size)) {
            error_ = replacement_->error();
            return false;
        }
        return true;
    }
    if (fd_ < 0) {
        return false;
    }
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error_ = "Cannot write " + path_ + ": " + std::strerror(errno);
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ExportFileWriter::commit() {
    if (replacement_) {
        if (!replacement_->commit()) {
            error_ = replacement_->error();
            return false;
        }
        return true;
    }
    if (fd_ < 0) {
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        error_ = "Cannot write " + path_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool writeExportFile(const std::string& path, std::string_view content, std::string& error) {
    ExportFileWriter writer(path);
    if (!writer.open() || !writer.write(content.data(), content.size()) || !writer.commit()) {
        error = writer.error().empty() ? "Cannot write " + path : writer.error();
        return false;
    }
    return true;
}

} // namespace veldrin
