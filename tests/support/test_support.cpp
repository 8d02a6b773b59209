#include "support/test_support.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace veldrin::testing {

#ifdef _WIN32
// No mkdtemp: a random name is tried until one is free. "/tmp" stands for the system's temporary
// folder, written with forward slashes as the program's own paths are.
TempDir::TempDir(const std::string& root) {
    const std::filesystem::path base =
        root == "/tmp" ? std::filesystem::temp_directory_path() : std::filesystem::path(root);
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = base / ("vt-" + std::to_string(random() % 1000000000u));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate.generic_string();
            return;
        }
    }
    throw std::runtime_error("no temporary folder could be made");
}
#else
TempDir::TempDir(const std::string& root) {
    std::string pattern = root + "/vt-XXXXXX";
    const char* made = ::mkdtemp(pattern.data());
    if (made == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = made;
}
#endif

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

#ifdef _WIN32
// The C runtime of Windows knows TZ values of the form "CET-1CEST" only, without the rules of a
// zone; tests that need a named zone skip themselves there (kNamedTimeZonesMissing).
ScopedTimeZone::ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    _putenv_s("TZ", tz);
    _tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    _putenv_s("TZ", hadPrevious_ ? previous_.c_str() : "");
    _tzset();
}
#else
ScopedTimeZone::ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    ::setenv("TZ", tz, 1);
    ::tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (hadPrevious_) {
        ::setenv("TZ", previous_.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}
#endif

std::string binaryPath(const std::string& name) {
    return std::string(VELDRIN_BIN_DIR) + "/" + name;
}

std::string sourcePath(const std::string& relative) {
    return std::string(VELDRIN_SOURCE_DIR) + "/" + relative;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

} // namespace veldrin::testing
