// The Windows file code where a fault could hide: names beyond ASCII on their way to UTF-16,
// replacement while another handle reads the old file, temporaries of a writer still at work,
// and the data-folder lock between two processes.

#include "core/atomic_file.h"
#include "core/data_directory_lock.h"
#include "core/export_file.h"
#include "core/file_system.h"
#include "core/paths.h"
#include "core/utf8_path.h"
#include "core/wide_text_windows.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <io.h>
#include <string>
#include <vector>

namespace veldrin {
namespace {

constexpr const char* kHolderFolderVariable = "VELDRIN_TEST_LOCK_FOLDER";

TEST(WindowsFiles, NamesBeyondAsciiReachTheSystemIntact) {
    testing::TempDir dir;
    for (const std::string folderName : {"Müller", "Température €", "温湿度", "Ölmühle 🌡"}) {
        SCOPED_TRACE(folderName);
        std::string data;
        std::string error;
        ASSERT_TRUE(resolveDataDirectory(dir.file(folderName + "/Daten"), data, error)) << error;
        EXPECT_EQ(GetFileAttributesW(widen(data).c_str()) & FILE_ATTRIBUTE_DIRECTORY,
                  static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
        const std::string file = joinPath(data, "main.ini");
        EXPECT_EQ(file.find('/'), std::string::npos) << "a message would mix separators: " << file;
        // The same folder named through the environment, which Windows keeps in UTF-16; and a
        // path through std::filesystem and back.
        ASSERT_EQ(_wputenv_s(L"VELDRIN_DATA_DIR", widen(data).c_str()), 0);
        std::string named;
        ASSERT_TRUE(resolveDataDirectory("", named, error)) << error;
        EXPECT_EQ(named, data);
        EXPECT_EQ(pathFromUtf8(file).wstring(), widen(file));
        EXPECT_EQ(utf8FromPath(std::filesystem::absolute(pathFromUtf8(file))), file);
        ASSERT_TRUE(writeFileAtomically(file, "[Registry]\r\n", error)) << error;
        std::string back;
        ASSERT_TRUE(readWholeFile(file, back, error)) << error;
        EXPECT_EQ(back, "[Registry]\r\n");
        FileStatus status;
        ASSERT_TRUE(fileStatus(file, status));
        EXPECT_EQ(status.size, 12u);
        DataDirectoryLock lock;
        ASSERT_TRUE(lock.acquire(data, "test", error)) << error;
        // The same file by another spelling is still one of the folder's own.
        std::string spelled = data + "\\MAIN.INI";
        EXPECT_TRUE(isDataFolderFile(data, spelled));
        EXPECT_FALSE(isDataFolderFile(data, dir.file(folderName + "/export.csv")));
        ASSERT_TRUE(writeExportFile(dir.file(folderName + "/Übersicht.csv"), "a;b\r\n", error))
            << error;
        std::FILE* exported = openStdioFile(dir.file(folderName + "/Übersicht.csv"), "rb");
        ASSERT_NE(exported, nullptr);
        std::fclose(exported);
    }
    _wputenv_s(L"VELDRIN_DATA_DIR", L"");
}

// Windows does not rename over a file that any handle has open: the replacement is refused
// (after a short wait for the reader), reported, and leaves the old file and no temporary; once
// the reader is gone it goes through.
TEST(WindowsFiles, ReplacementWhileAnotherHandleReadsTheOldFile) {
    testing::TempDir dir;
    const std::string path = dir.file("0.dat");
    std::string error;
    ASSERT_TRUE(writeFileAtomically(path, "old", error)) << error;
    HANDLE plain = CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(plain, INVALID_HANDLE_VALUE);
    const int shared = openForReading(path);
    ASSERT_GE(shared, 0);
    for (const bool plainReader : {true, false}) {
        SCOPED_TRACE(plainReader ? "reader not sharing deletion" : "reader sharing deletion");
        EXPECT_FALSE(writeFileAtomically(path, "new", error));
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_EQ(removeAbandonedTemporaries(path), 0); // nothing left behind
        if (plainReader) {
            CloseHandle(plain);
        }
    }
    char seen[8] = {};
    EXPECT_EQ(_read(shared, seen, sizeof seen), 3);
    EXPECT_EQ(std::string(seen), "old");
    _close(shared);
    ASSERT_TRUE(writeFileAtomically(path, "new", error)) << error;
    EXPECT_EQ(testing::readFile(path), "new");
}

TEST(WindowsFiles, OnlyTemporariesNobodyHoldsAreRemoved) {
    testing::TempDir dir;
    const std::string path = dir.file("main.ini");
    testing::writeFile(dir.file("main.ini.tmp-1"), "abandoned");
    testing::writeFile(dir.file("main.ini.tmp-77"), "being written");
    testing::writeFile(dir.file("main.ini.tmp-x"), "unrelated");
    HANDLE busy = CreateFileW(widen(dir.file("main.ini.tmp-77")).c_str(), GENERIC_WRITE,
                              FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    EXPECT_EQ(removeAbandonedTemporaries(path), 1);
    EXPECT_FALSE(fileExists(dir.file("main.ini.tmp-1")));
    EXPECT_TRUE(fileExists(dir.file("main.ini.tmp-77")));
    EXPECT_TRUE(fileExists(dir.file("main.ini.tmp-x")));
    CloseHandle(busy);
    EXPECT_EQ(removeAbandonedTemporaries(path), 1);
}

// Run in a child process by the test below: takes the lock, says so, and holds it until told to
// let go or killed.
TEST(WindowsLockHolder, HoldsTheLockForTheParent) {
    const char* folder = std::getenv(kHolderFolderVariable);
    if (folder == nullptr) {
        GTEST_SKIP() << "runs only as the child of SecondProcessIsRefusedUntilTheHolderEnds";
    }
    DataDirectoryLock lock;
    std::string holder;
    ASSERT_TRUE(lock.acquire(folder, "holder", holder)) << holder;
    HANDLE held = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"Local\\veldrin-test-lock-held");
    ASSERT_NE(held, nullptr);
    SetEvent(held);
    WaitForSingleObject(GetCurrentProcess(), 60000); // ended by the parent long before
}

TEST(WindowsFiles, SecondProcessIsRefusedUntilTheHolderEnds) {
    if (std::getenv(kHolderFolderVariable) != nullptr) {
        GTEST_SKIP() << "the child runs the holder only";
    }
    testing::TempDir dir;
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, L"Local\\veldrin-test-lock-held");
    ASSERT_NE(held, nullptr);
    SetEnvironmentVariableW(widen(kHolderFolderVariable).c_str(), widen(dir.path()).c_str());
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) +
                           L"\" --gtest_filter=WindowsLockHolder.HoldsTheLockForTheParent";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &child);
    SetEnvironmentVariableW(widen(kHolderFolderVariable).c_str(), nullptr);
    ASSERT_TRUE(started);
    HANDLE waits[] = {held, child.hProcess};
    ASSERT_EQ(WaitForMultipleObjects(2, waits, FALSE, 60000), WAIT_OBJECT_0) << "holder failed";

    DataDirectoryLock second;
    std::string holder;
    EXPECT_EQ(second.tryAcquire(dir.path(), "second", holder),
              DataDirectoryLock::Result::heldElsewhere);
    EXPECT_NE(holder.find("process " + std::to_string(child.dwProcessId) + " (holder)"),
              std::string::npos)
        << holder;

    TerminateProcess(child.hProcess, 0); // no release: the end of the process frees the lock
    WaitForSingleObject(child.hProcess, 60000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    CloseHandle(held);
    EXPECT_TRUE(second.acquire(dir.path(), "second", holder)) << holder;
}

} // namespace
} // namespace veldrin
