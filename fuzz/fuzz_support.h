#pragma once
// What the fuzz targets share: a check that turns a broken promise into a crash libFuzzer keeps,
// and a scratch folder for the targets that go through real files.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

namespace veldrin::fuzz {

[[noreturn]] inline void broken(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: broken promise: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_REQUIRE(condition)                                                                    \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            ::veldrin::fuzz::broken(#condition, __FILE__, __LINE__);                               \
        }                                                                                          \
    } while (false)

// One folder per process, under VELDRIN_FUZZ_SCRATCH when it is set (scripts/fuzz points it at
// a folder in memory and removes it afterwards, also after a crash), else in /dev/shm or /tmp.
class ScratchFolder {
public:
    ScratchFolder() {
        const char* base = std::getenv("VELDRIN_FUZZ_SCRATCH");
        if (base == nullptr) {
            base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        }
        std::string pattern = std::string(base) + "/veldrin-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
    void clear() const {
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            std::filesystem::remove_all(entry.path());
        }
    }

private:
    std::string path_;
};

// Static objects are destroyed at exit, so the folder goes with the process.
inline ScratchFolder& scratch() {
    static ScratchFolder folder;
    return folder;
}

} // namespace veldrin::fuzz
