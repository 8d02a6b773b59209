// The Windows launcher: a program path beyond ASCII and with spaces, no arguments, the environment
// given (names without case), standard input from nothing; a hanging program stopped, and what a
// program left running taken along when it is let go.

#include "core/child_process.h"
#include "core/wide_text_windows.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace veldrin {
namespace {

std::string childCopy(const testing::TempDir& dir, const std::string& name) {
    const std::string copy = dir.file(name);
    const std::string built = std::string(VELDRIN_BIN_DIR) + "/veldrin-test-child.exe";
    EXPECT_TRUE(CopyFileW(widen(built).c_str(), widen(copy).c_str(), FALSE)) << built;
    return copy;
}

TEST(WindowsChildProcess, RunsWithoutArgumentsWithTheGivenEnvironment) {
    testing::TempDir dir;
    const std::string program = childCopy(dir, "Alarm Müller €.exe");
    const std::string out = dir.file("out");
    _putenv_s("veldrin_state", "stale");
    std::string error;
    auto child = systemChildLauncher().start(
        program,
        {{"VELDRIN_STATE", "begin"}, {"VELDRIN_LIMIT", "a b;%PATH%"}, {"VELDRIN_CHILD_OUT", out}},
        error);
    _putenv_s("veldrin_state", "");
    ASSERT_TRUE(child) << error;
    const ChildEnd end = child->wait();
    EXPECT_EQ(describeChildEnd(end), "exited with status 3");
    EXPECT_EQ(testing::readFile(out), "0 begin a b;%PATH% empty");
}

TEST(WindowsChildProcess, AHangingProgramIsStoppedWithWhatItStarted) {
    testing::TempDir dir;
    const std::string program = childCopy(dir, "hang.exe");
    std::string error;
    auto child = systemChildLauncher().start(program, {{"VELDRIN_CHILD_HANG", "self"}}, error);
    ASSERT_TRUE(child) << error;
    EXPECT_FALSE(child->poll());
    child->kill();
    EXPECT_EQ(describeChildEnd(child->wait()), "was ended by signal 9");
    EXPECT_TRUE(child->poll()->signalled);

    // A program that ends leaving one of its own running: letting it go takes the other along.
    const std::string out = dir.file("copy");
    child = systemChildLauncher().start(
        program, {{"VELDRIN_CHILD_HANG", "copy"}, {"VELDRIN_CHILD_OUT", out}}, error);
    ASSERT_TRUE(child) << error;
    EXPECT_EQ(child->wait().code, 0);
    const DWORD copyId = static_cast<DWORD>(std::stoul(testing::readFile(out)));
    HANDLE copy = OpenProcess(SYNCHRONIZE, FALSE, copyId);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_TIMEOUT);
    child.reset();
    EXPECT_EQ(WaitForSingleObject(copy, 10000), WAIT_OBJECT_0);
    CloseHandle(copy);
}

TEST(WindowsChildProcess, OneThatCannotRunIsSaid) {
    testing::TempDir dir;
    const std::string program = childCopy(dir, "hook.exe");
    testing::writeFile(dir.file("hook.cmd"), "exit 0\r\n");
    EXPECT_EQ(executableFault(program), "");
    EXPECT_NE(executableFault(dir.file("hook.cmd")).find("not executable"), std::string::npos);
    EXPECT_NE(executableFault(dir.path()).find("not a file"), std::string::npos);
    EXPECT_NE(executableFault(dir.file("missing.exe")), "");
    std::string error;
    EXPECT_FALSE(systemChildLauncher().start(dir.file("missing.exe"), {}, error));
    EXPECT_NE(error.find("could not be started"), std::string::npos);
}

} // namespace
} // namespace veldrin
