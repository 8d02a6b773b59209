// The "socket:PATH" backend judges its path before the first attempt: what can never become a
// socket a recorder listens on, and what may still become one.

#include "device/backend_registry.h"
#include "support/test_support.h"

#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace veldrin {
namespace {

// A socket bound at `path`; listening or left without a listener (as a crashed server leaves it).
int boundSocket(const std::string& path, bool listening) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
    if (listening) {
        EXPECT_EQ(::listen(fd, 4), 0);
    }
    return fd;
}

TEST(SocketCheck, ASocketPathIsJudgedBeforeTheFirstAttempt) {
    testing::TempDir dir;
    testing::writeFile(dir.file("file"), "");
    ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0755), 0);
    const int live = boundSocket(dir.file("live.sock"), true);
    ::close(boundSocket(dir.file("stale.sock"), false));

    const std::pair<std::string, DeviceOutlook> cases[] = {
        {"hid", DeviceOutlook::usable},
        {"sim", DeviceOutlook::usable},
        {"socket:" + dir.file("live.sock"), DeviceOutlook::usable},
        {"socket:" + dir.file("missing.sock"), DeviceOutlook::notYet},
        {"socket:" + dir.file("stale.sock"), DeviceOutlook::notYet},
        {"socket:" + dir.file("file"), DeviceOutlook::never},
        {"socket:" + dir.file("folder"), DeviceOutlook::never},
        {"socket:" + dir.file("file/sub.sock"), DeviceOutlook::never},
        {"socket:" + dir.file(std::string(120, 'x')), DeviceOutlook::never},
        // Several paths: the worst of them decides.
        {"socket:" + dir.file("missing.sock") + "," + dir.file("file"), DeviceOutlook::never},
        {"socket:" + dir.file("live.sock") + ",", DeviceOutlook::never},
        {"socket-dir:" + dir.path(), DeviceOutlook::usable},
        {"socket-dir:" + dir.file("file"), DeviceOutlook::never},
    };
    for (const auto& [name, expected] : cases) {
        const DeviceCheck check = checkDeviceName(name);
        EXPECT_EQ(check.outlook, expected) << name;
        EXPECT_EQ(check.reason.empty(), expected == DeviceOutlook::usable) << name;
    }
    ::close(live);
}

// A folder of sockets lists each socket in it, by name, as the files come and go; other files are
// no recorders.
TEST(SocketCheck, AFolderOfSocketsListsTheSocketsPresentAtEachLook) {
    testing::TempDir dir;
    testing::writeFile(dir.file("a.txt"), "");
    std::string error;
    std::unique_ptr<HidBackend> backend =
        chooseBackend("socket-dir:" + dir.path(), error, SystemClock::instance());
    ASSERT_NE(backend, nullptr) << error;
    std::vector<std::string> paths;
    const int b = boundSocket(dir.file("b.sock"), true);
    ::close(boundSocket(dir.file("a.sock"), false));
    ASSERT_TRUE(backend->listInterfaces(paths));
    EXPECT_EQ(paths, (std::vector<std::string>{dir.file("a.sock"), dir.file("b.sock")}));
    ::unlink(dir.file("a.sock").c_str());
    ASSERT_TRUE(backend->listInterfaces(paths));
    EXPECT_EQ(paths, std::vector<std::string>{dir.file("b.sock")});
    ::close(b);
}

} // namespace
} // namespace veldrin
