// The socket transport and the veldrin-recorder-sim program: descriptor, bad descriptors, hosts
// that hang up, unplugging, the socket file, and the program's command line and lifetime.

#include "sim_process.h"

#include "device/logger_link.h"
#include "sim/socket_server.h"
#include "sim/software_recorder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace veldrin::sim {
namespace {

int connectTo(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool exists(const std::string& path) {
    struct stat s {};
    return ::lstat(path.c_str(), &s) == 0;
}

class SocketServing : public ::testing::Test {
protected:
    void SetUp() override {
        RecorderConfig c;
        c.identity = RecorderIdentity{100000, 10, 10000};
        recorder = std::make_shared<SoftwareRecorder>(c, clock);
        server = std::make_unique<SocketServer>(recorder, path);
        std::string error;
        ASSERT_TRUE(server->start(error)) << error;
    }

    testing::TempDir dir;
    std::string path = dir.file("r.sock");
    ManualClock clock;
    std::shared_ptr<SoftwareRecorder> recorder;
    std::unique_ptr<SocketServer> server;
};

TEST_F(SocketServing, DescriptorComesFirstInLittleEndian) {
    recorder->setRelease(0x0101);
    const int fd = connectTo(path);
    ASSERT_GE(fd, 0);
    uint8_t d[6] = {};
    ASSERT_EQ(::recv(fd, d, sizeof d, MSG_WAITALL), 6);
    const uint8_t expected[6] = {0x41, 0x19, 0x21, 0x80, 0x01, 0x01};
    EXPECT_TRUE(std::equal(d, d + 6, expected));
    ::close(fd);
}

TEST_F(SocketServing, HostsThatHangUpMidExchangeLeaveTheServerServing) {
    // Each host sends a read command and leaves before the answer: the server's answers go to a
    // closed connection, which must neither raise SIGPIPE nor disturb the others.
    for (int i = 0; i < 20; ++i) {
        const int fd = connectTo(path);
        ASSERT_GE(fd, 0);
        uint8_t report[kReportSize] = {0};
        const Frame f = commandFrame(RecorderCommand::read32, 0);
        std::copy(f.begin(), f.end(), report + 1);
        ASSERT_EQ(::send(fd, report, 5, MSG_NOSIGNAL), 5); // and a torn report on top
        ::close(fd);
    }
    auto backend = makeSocketBackend(path);
    LoggerLink link(*backend);
    HeaderBytes h{};
    ASSERT_EQ(link.ReadHeader(h), 1);
    EXPECT_TRUE(identityFromHeader(h).isValid());
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(link.CheckPresence(), 1); // each check opens a connection and drops the last
    }
    EXPECT_EQ(link.ReadHeader(h), 1);
}

TEST_F(SocketServing, UnplugClosesConnectionsAndRefusesNewOnes) {
    auto backend = makeSocketBackend(path);
    LoggerLink link(*backend);
    uint8_t unit[32];
    ASSERT_EQ(link.ReadMemory(0, unit), 1);
    recorder->unplug();
    EXPECT_EQ(link.ReadMemory(0, unit), 0);
    EXPECT_EQ(link.CheckPresence(), 0);
    recorder->plug();
    EXPECT_EQ(link.CheckPresence(), 1);
    EXPECT_EQ(link.ReadMemory(0, unit), 1);
}

TEST_F(SocketServing, StopRemovesTheSocketFileAndAStaleOneIsReplaced) {
    server->stop();
    EXPECT_FALSE(exists(path));
    // A socket file left behind by a server that died is taken over.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    SocketServer again(recorder, path);
    std::string error;
    ASSERT_TRUE(again.start(error)) << error;
    auto backend = makeSocketBackend(path);
    LoggerLink link(*backend);
    EXPECT_TRUE(link.hasDevice());
}

TEST(SocketServer, LeavesAFileThatIsNoSocketAlone) {
    testing::TempDir dir;
    const std::string path = dir.file("data");
    testing::writeFile(path, "keep");
    ManualClock clock;
    SocketServer server(std::make_shared<SoftwareRecorder>(RecorderConfig{}, clock), path);
    std::string error;
    EXPECT_FALSE(server.start(error));
    EXPECT_EQ(testing::readFile(path), "keep");
    SocketServer tooLong(std::make_shared<SoftwareRecorder>(RecorderConfig{}, clock),
                         "/tmp/" + std::string(120, 'x'));
    EXPECT_FALSE(tooLong.start(error));
}

// A listener that sends a torn descriptor: three of its six bytes, then closes or stays silent.
class TornDescriptorServer {
public:
    TornDescriptorServer(const std::string& path, bool close) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::copy(path.begin(), path.end(), address.sun_path);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 4);
        thread_ = std::thread([this, close] {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) {
                return;
            }
            const uint8_t part[3] = {0x41, 0x19, 0x21};
            ::send(c, part, sizeof part, MSG_NOSIGNAL);
            if (!close) {
                uint8_t sink[16];
                ::recv(c, sink, sizeof sink, 0); // until the host gives up and closes
            }
            ::close(c);
        });
    }
    ~TornDescriptorServer() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }

private:
    int fd_;
    std::thread thread_;
};

TEST(SocketBackend, TornDescriptorMeansNoDevice) {
    for (const bool close : {true, false}) {
        testing::TempDir dir;
        const std::string path = dir.file("r.sock");
        TornDescriptorServer server(path, close);
        auto backend = makeSocketBackend(path);
        LoggerLink link(*backend); // searches at once
        EXPECT_FALSE(link.hasDevice()) << (close ? "closed" : "silent");
        uint8_t unit[32];
        EXPECT_EQ(link.ReadMemory(0, unit), 0);
    }
}

TEST(SocketBackend, MissingSocketMeansNoDevice) {
    testing::TempDir dir;
    auto backend = makeSocketBackend(dir.file("none.sock"));
    LoggerLink link(*backend);
    EXPECT_EQ(link.CheckPresence(), 0);
}

// ----- the program -----------------------------------------------------------------------------

TEST(RecorderSimProgram, HelpAndBadOptions) {
    const testing::ProgramRun help = testing::runSimProgram({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("Usage: veldrin-recorder-sim --socket PATH"), std::string::npos);
    EXPECT_EQ(testing::runSimProgram({"--socket", "/tmp/x.sock", "--interval", "300"}).exitCode, 2);
    EXPECT_EQ(testing::runSimProgram({"--records", "5"}).exitCode, 2);
}

TEST(RecorderSimProgram, ServesItsRecorderAndRemovesTheSocketOnSigterm) {
    testing::TempDir dir;
    const std::string path = dir.file("r.sock");
    testing::SimProcess program;
    std::string error;
    ASSERT_TRUE(
        program.start({"--socket", path, "--identity", "10/10000", "--records", "200", "--circular",
                       "linear", "--version", "2.3", "--clock-offset", "-7200"},
                      error))
        << error;
    auto backend = makeSocketBackend(path);
    LoggerLink link(*backend);
    HeaderBytes h{};
    ASSERT_EQ(link.ReadHeader(h), 1);
    EXPECT_EQ(identityFromHeader(h), (RecorderIdentity{100000, 10, 10000}));
    EXPECT_EQ(h[header::lastBlock], 4); // 200 records: blocks 1 to 4
    EXPECT_EQ(h[header::wrapMarker], 4);
    EXPECT_EQ(h[header::circularMode], 0x00);
    EXPECT_EQ(h[header::versionMajor], 2);
    EXPECT_EQ(h[header::versionMinor], 3);
    const DateTime recorderTime = dateTimeFromBytes(h.data() + header::clock);
    ASSERT_TRUE(recorderTime.isValid());
    const int64_t lag = secondsBetween(SystemClock::instance().nowLocal(), recorderTime);
    EXPECT_NEAR(static_cast<double>(lag), 7200.0, 5.0);

    EXPECT_EQ(program.stop(), 0);
    EXPECT_FALSE(exists(path));
}

} // namespace
} // namespace veldrin::sim
