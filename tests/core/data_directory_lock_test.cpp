#include "core/data_directory_lock.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veldrin {
namespace {

// flock locks belong to the open file, so a second open in the same process contends like a
// second process would.
TEST(DataDirectoryLock, SecondHolderIsRefusedAndToldWhoHoldsIt) {
    testing::TempDir dir;
    DataDirectoryLock first;
    std::string holder;
    ASSERT_TRUE(first.acquire(dir.path(), "veldrin-cli watch", holder)) << holder;
    DataDirectoryLock second;
    EXPECT_EQ(second.tryAcquire(dir.path(), "veldrin-cli sync", holder),
              DataDirectoryLock::Result::heldElsewhere);
    EXPECT_NE(holder.find("veldrin-cli watch"), std::string::npos);
    EXPECT_NE(holder.find(std::to_string(::getpid())), std::string::npos);
    first.release();
    EXPECT_TRUE(second.acquire(dir.path(), "veldrin-cli sync", holder));
    // A lock file that cannot be made is not a holder.
    EXPECT_EQ(first.tryAcquire(dir.file("missing"), "veldrin-cli sync", holder),
              DataDirectoryLock::Result::unusable);
    EXPECT_NE(holder.find("missing"), std::string::npos);
}

TEST(DataDirectoryLock, EndsWithItsProcess) {
    testing::TempDir dir;
    const pid_t child = ::fork();
    if (child == 0) {
        DataDirectoryLock lock;
        std::string holder;
        _exit(lock.acquire(dir.path(), "child", holder) ? 0 : 1); // no release: the exit frees it
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    DataDirectoryLock lock;
    std::string holder;
    EXPECT_TRUE(lock.acquire(dir.path(), "parent", holder)) << holder;
    EXPECT_FALSE(lock.acquire(dir.file("missing/deeper"), "parent", holder));
}

} // namespace
} // namespace veldrin
