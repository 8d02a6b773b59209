#pragma once
// The folder a benchmark writes its files in: $VELDRIN_BENCH_DIR when given (left as it is), else
// a new folder in the current one, removed again when the program ends.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace veldrin {

struct BenchFolder {
    explicit BenchFolder(const char* prefix) {
        if (const char* given = std::getenv("VELDRIN_BENCH_DIR")) {
            std::filesystem::create_directories(given);
            path = given;
            return;
        }
        std::string pattern = std::string(prefix) + "-XXXXXX";
        const char* made = ::mkdtemp(pattern.data());
        path = std::filesystem::absolute(made != nullptr ? made : ".").string();
        owned = made != nullptr;
    }
    ~BenchFolder() {
        if (owned) {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;

    std::string path;
    bool owned = false;
};

} // namespace veldrin
