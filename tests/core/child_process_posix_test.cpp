// Programs started by the system launcher: no arguments, the environment given, standard input
// from nothing; a hanging one stopped with what it started.

#include "core/child_process.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

namespace veldrin {
namespace {

std::string script(const testing::TempDir& dir, const std::string& name, const std::string& body) {
    const std::string path = dir.file(name);
    testing::writeFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    return path;
}

TEST(ChildProcess, RunsWithoutArgumentsWithTheGivenEnvironmentLessTheBrokerSecrets) {
    testing::TempDir dir;
    ::setenv("VELDRIN_STATE", "stale", 1);
    ::setenv("VELDRIN_MQTT_PASSWORD", "secret", 1);
    const std::string out = dir.file("out");
    const std::string program =
        script(dir, "hook",
               "echo \"$# $VELDRIN_STATE $VELDRIN_LIMIT ${HOME:+home} "
               "${VELDRIN_MQTT_PASSWORD:-none}\" > " +
                   out + "\nread line && echo input >> " + out + "\nexit 3\n");
    std::string error;
    auto child = systemChildLauncher().start(
        program, {{"VELDRIN_STATE", "begin"}, {"VELDRIN_LIMIT", "a b;$(x)"}}, error);
    ASSERT_TRUE(child) << error;
    const ChildEnd end = child->wait();
    EXPECT_FALSE(end.signalled);
    EXPECT_EQ(end.code, 3);
    EXPECT_EQ(describeChildEnd(end), "exited with status 3");
    EXPECT_EQ(testing::readFile(out), "0 begin a b;$(x) home none\n");
    ::unsetenv("VELDRIN_STATE");
    ::unsetenv("VELDRIN_MQTT_PASSWORD");
}

TEST(ChildProcess, AHangingProgramIsStoppedAndOneThatCannotRunIsSaid) {
    testing::TempDir dir;
    const std::string program = script(dir, "hang", "sleep 300 & wait\n");
    std::string error;
    auto child = systemChildLauncher().start(program, {}, error);
    ASSERT_TRUE(child) << error;
    EXPECT_FALSE(child->poll());
    child->kill();
    const ChildEnd end = child->wait();
    EXPECT_TRUE(end.signalled);
    EXPECT_EQ(end.code, SIGKILL);
    EXPECT_EQ(child->poll()->code, SIGKILL);

    EXPECT_EQ(executableFault(program), "");
    testing::writeFile(dir.file("plain"), "#!/bin/sh\n");
    EXPECT_NE(executableFault(dir.file("plain")).find("not executable"), std::string::npos);
    EXPECT_NE(executableFault(dir.path()).find("not a file"), std::string::npos);
    EXPECT_NE(executableFault(dir.file("missing")).find("No such file"), std::string::npos);
    EXPECT_FALSE(systemChildLauncher().start(dir.file("missing"), {}, error));
    EXPECT_NE(error.find("could not be started"), std::string::npos);
}

} // namespace
} // namespace veldrin
