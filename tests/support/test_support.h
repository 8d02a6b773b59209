#pragma once
// Helpers shared by the test executables.

#include <string>

namespace veldrin::testing {

// A fresh folder under /tmp (short, so that socket paths stay under the system's limit) or under
// another root, removed with its content when the object goes.
class TempDir {
public:
    explicit TempDir(const std::string& root = "/tmp");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Why a test that needs a named time zone ("Europe/Berlin") or Unix file semantics skips itself
// on Windows.
inline constexpr const char* kNamedTimeZonesMissing =
    "the Windows C runtime knows no time zone rules beyond a name and an offset";

// Sets TZ for the life of the object and restores it afterwards.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz);
    ~ScopedTimeZone();

private:
    std::string previous_;
    bool hadPrevious_ = false;
};

std::string binaryPath(const std::string& name); // a program of this build
std::string sourcePath(const std::string& relative);
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

} // namespace veldrin::testing
