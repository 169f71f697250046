#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/include/windows.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sim/machine/registry.h"

namespace {

using sim::WindowsVersion;

const char kSessionManager[] = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";

std::string WindowsFolder() {
    char buf[MAX_PATH];
    const UINT n = GetWindowsDirectoryA(buf, sizeof buf);
    return std::string(buf, n);
}

std::string SystemFolder() {
    char buf[MAX_PATH];
    const UINT n = GetSystemDirectoryA(buf, sizeof buf);
    return std::string(buf, n);
}

// Every name FindFirstFileA/FindNextFileA report for a pattern, or the
// error when the search cannot start.
std::vector<std::string> Find(const char* pattern, DWORD* error = nullptr) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(pattern, &data);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return names;
    }
    do {
        names.push_back(data.cFileName);
    } while (FindNextFileA(h, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(h));
    if (error) *error = ERROR_SUCCESS;
    return names;
}

using Names = std::vector<std::string>;

TEST(FileSystemFolders, WindowsAndSystemFolderFollowTheVersion) {
    struct Case {
        WindowsVersion version;
        const char* windows;
        const char* system;
        bool drivers;
    };
    const Case cases[] = {
        {WindowsVersion::WinXP, "C:\\WINDOWS", "C:\\WINDOWS\\system32", true},
        {WindowsVersion::Win2000, "C:\\WINNT", "C:\\WINNT\\system32", true},
        {WindowsVersion::Win98SE, "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM", false},
    };
    for (const Case& c : cases) {
        sim::Machine m(c.version);
        sim::MachineScope scope(m);
        EXPECT_EQ(WindowsFolder(), c.windows);
        EXPECT_EQ(SystemFolder(), c.system);
        EXPECT_TRUE(m.files().IsFolder(std::string(c.windows) + "\\inf"));
        EXPECT_EQ(m.files().IsFolder(std::string(c.system) + "\\drivers"), c.drivers);
    }
}

TEST(FileSystemFolders, WindowsFolderAtTheDriveRootHasNoDoubledBackslash) {
    sim::Machine m(WindowsVersion::WinXP, "C:\\");
    sim::MachineScope scope(m);
    EXPECT_EQ(WindowsFolder(), "C:\\");
    EXPECT_EQ(SystemFolder(), "C:\\system32");
    EXPECT_TRUE(m.files().IsFolder("C:\\inf"));
    EXPECT_TRUE(m.files().IsFolder("C:\\system32\\drivers"));
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "v", "tool.ini"));
    EXPECT_TRUE(m.files().Exists("C:\\tool.ini"));
}

// The folders a fresh machine's users have, where Explorer's values say.
TEST(FileSystemFolders, ShellFoldersExistWhereTheirValuesPoint) {
    const char* const kUser = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    const char* const kCommon = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    for (WindowsVersion version : {WindowsVersion::Win98SE, WindowsVersion::WinMe, WindowsVersion::NT4,
                                   WindowsVersion::Win2000, WindowsVersion::WinXP}) {
        sim::Machine m(version);
        for (const char* name : {"Startup", "Programs", "Start Menu", "Desktop"}) {
            const std::optional<std::string> path = m.registry().GetString(kUser, name);
            ASSERT_TRUE(path) << name;
            EXPECT_TRUE(m.files().IsFolder(*path)) << *path;
            const std::optional<std::string> common = m.registry().GetString(kCommon, std::string("Common ") + name);
            ASSERT_TRUE(common) << name;
            EXPECT_TRUE(m.files().IsFolder(*common)) << *common;
        }
    }
    sim::Machine nineX(WindowsVersion::Win98SE);
    EXPECT_EQ(nineX.registry().GetString(kUser, "Startup"), "C:\\WINDOWS\\Start Menu\\Programs\\StartUp");
    EXPECT_TRUE(nineX.files().IsFolder("C:\\WINDOWS\\Profiles\\Owner\\Start Menu\\Programs\\StartUp"));
    sim::Machine xp(WindowsVersion::WinXP);
    EXPECT_EQ(xp.registry().GetString(kUser, "Programs"), "C:\\Documents and Settings\\Owner\\Start Menu\\Programs");
    EXPECT_EQ(xp.registry().GetString(kCommon, "Common Programs"),
              "C:\\Documents and Settings\\All Users\\Start Menu\\Programs");
}

TEST(FileSystemFolders, DirectoryQueriesFollowTheSizeRules) {
    sim::Machine m(WindowsVersion::WinXP);
    sim::MachineScope scope(m);
    char buf[16];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(GetWindowsDirectoryA(buf, 10), 11u);  // "C:\WINDOWS" needs 11 with its NUL
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(GetWindowsDirectoryA(buf, 11), 10u);
    EXPECT_STREQ(buf, "C:\\WINDOWS");
    EXPECT_EQ(GetSystemDirectoryA(nullptr, 0), 20u);
}

class FileSystemXp : public ::testing::Test {
protected:
    FileSystemXp() : scope_(m_) {}
    sim::FileSystem& fs() { return m_.files(); }
    sim::Machine m_{WindowsVersion::WinXP};
    sim::MachineScope scope_;
};

class FileSystem98 : public ::testing::Test {
protected:
    FileSystem98() : scope_(m_) {}
    sim::FileSystem& fs() { return m_.files(); }
    sim::Machine m_{WindowsVersion::Win98};
    sim::MachineScope scope_;
};

TEST_F(FileSystemXp, PathsAcceptTheUsualSpellingsOfDriveC) {
    fs().WriteFile("C:\\WINDOWS\\inf\\oem0.inf", "x");
    for (const char* path : {"C:\\WINDOWS\\inf\\oem0.inf", "c:/windows/INF/OEM0.INF", "\\WINDOWS\\inf\\oem0.inf",
                             "WINDOWS\\inf\\oem0.inf", "C:\\WINDOWS\\system32\\..\\.\\inf\\oem0.inf"}) {
        EXPECT_NE(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES) << path;
    }
    EXPECT_EQ(GetFileAttributesA("D:\\WINDOWS"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    // The names keep the case they were created with.
    EXPECT_EQ(fs().List("C:\\windows\\INF"), Names{"oem0.inf"});
}

TEST_F(FileSystemXp, AnsiPathsOfMaxPathCharactersOrMoreAreTooLong) {
    const std::string folder = "C:\\" + std::string(240, 'a');
    std::string almost = folder + "\\" + std::string(MAX_PATH - 1 - folder.size() - 1, 'b');
    ASSERT_EQ(almost.size(), static_cast<size_t>(MAX_PATH - 1));
    EXPECT_EQ(GetFileAttributesA(almost.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    const std::string full = almost + "b";
    EXPECT_EQ(GetFileAttributesA(full.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_FALSE(DeleteFileA(full.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    // CreateDirectoryA keeps room for an 8.3 name below the new folder.
    EXPECT_FALSE(CreateDirectoryA(("C:\\" + std::string(246, 'c')).c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_TRUE(CreateDirectoryA(("C:\\" + std::string(245, 'c')).c_str(), nullptr));
}

TEST_F(FileSystemXp, AttributesReportNormalAndClearWithNormal) {
    fs().WriteFile("C:\\a.txt", "", 0);
    EXPECT_EQ(GetFileAttributesA("C:\\a.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    const DWORD all = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesA("C:\\a.txt", all));
    EXPECT_EQ(GetFileAttributesA("C:\\a.txt"), all);
    ASSERT_TRUE(SetFileAttributesA("C:\\a.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA("C:\\a.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));

    ASSERT_TRUE(SetFileAttributesA("C:\\WINDOWS\\inf", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\inf\\"),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
    ASSERT_TRUE(SetFileAttributesA("C:\\WINDOWS\\inf", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA("C:\\WINDOWS\\inf"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

    EXPECT_EQ(GetFileAttributesA("C:\\missing.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA("C:\\missing\\a.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(SetFileAttributesA("C:\\missing.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileSystemXp, DeleteFileReportsWhyItCannotDelete) {
    fs().WriteFile("C:\\ro.sys", "x", FILE_ATTRIBUTE_READONLY);
    fs().WriteFile("C:\\busy.sys", "x");
    fs().SetInUse("C:\\busy.sys", true);
    const struct {
        const char* path;
        DWORD error;
    } cases[] = {
        {"C:\\ro.sys", ERROR_ACCESS_DENIED},
        {"C:\\busy.sys", ERROR_SHARING_VIOLATION},
        {"C:\\WINDOWS", ERROR_ACCESS_DENIED},
        {"C:\\none.sys", ERROR_FILE_NOT_FOUND},
        {"C:\\none\\x.sys", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(DeleteFileA(c.path)) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
    EXPECT_TRUE(fs().Exists("C:\\ro.sys"));
    fs().SetInUse("C:\\busy.sys", false);
    EXPECT_TRUE(DeleteFileA("C:\\busy.sys"));
    EXPECT_FALSE(fs().Exists("C:\\busy.sys"));
}

TEST_F(FileSystemXp, RemoveDirectoryReportsWhyItCannotRemove) {
    fs().WriteFile("C:\\full\\x.txt", "");
    fs().WriteFile("C:\\file.txt", "");
    fs().CreateFolder("C:\\locked");
    fs().SetAttributes("C:\\locked", FILE_ATTRIBUTE_READONLY);
    const struct {
        const char* path;
        DWORD error;
    } cases[] = {
        {"C:\\full", ERROR_DIR_NOT_EMPTY},
        {"C:\\gone", ERROR_FILE_NOT_FOUND},
        {"C:\\gone\\deeper", ERROR_PATH_NOT_FOUND},
        {"C:\\file.txt", ERROR_DIRECTORY},
        {"C:\\locked", ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(RemoveDirectoryA(c.path)) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
    EXPECT_TRUE(DeleteFileA("C:\\full\\x.txt"));
    EXPECT_TRUE(RemoveDirectoryA("C:\\full\\"));
    EXPECT_FALSE(fs().Exists("C:\\full"));
}

TEST_F(FileSystem98, ReadOnlyFolderCanBeRemovedOnFat) {
    fs().CreateFolder("C:\\locked");
    fs().SetAttributes("C:\\locked", FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(RemoveDirectoryA("C:\\locked"));
}

TEST_F(FileSystemXp, CreateDirectoryNeedsItsParentAndANewName) {
    EXPECT_TRUE(CreateDirectoryA("C:\\Games", nullptr));
    EXPECT_FALSE(CreateDirectoryA("C:\\games", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryA("C:\\a\\b", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA("C:\\Games"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(FileSystemXp, CopyFileCopiesContentAndAttributesAndReportsConflicts) {
    fs().WriteFile("C:\\src.sys", "driver", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(CopyFileA("C:\\src.sys", "C:\\WINDOWS\\dst.sys", TRUE));
    EXPECT_EQ(fs().ReadFile("C:\\WINDOWS\\dst.sys"), "driver");
    // The file system marks the new file for archiving.
    EXPECT_EQ(fs().Attributes("C:\\WINDOWS\\dst.sys"),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));

    fs().WriteFile("C:\\plain.txt", "old");
    fs().WriteFile("C:\\ro.txt", "old", FILE_ATTRIBUTE_READONLY);
    fs().WriteFile("C:\\busy.txt", "old");
    fs().SetInUse("C:\\busy.txt", true);
    const struct {
        const char* from;
        const char* to;
        BOOL failIfExists;
        DWORD error;
    } cases[] = {
        {"C:\\src.sys", "C:\\plain.txt", TRUE, ERROR_FILE_EXISTS},
        {"C:\\src.sys", "C:\\ro.txt", FALSE, ERROR_ACCESS_DENIED},
        {"C:\\src.sys", "C:\\busy.txt", FALSE, ERROR_SHARING_VIOLATION},
        {"C:\\none.sys", "C:\\x.sys", FALSE, ERROR_FILE_NOT_FOUND},
        {"C:\\src.sys", "C:\\nofolder\\x.sys", FALSE, ERROR_PATH_NOT_FOUND},
        {"C:\\src.sys", "c:\\SRC.SYS", FALSE, ERROR_SHARING_VIOLATION},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(CopyFileA(c.from, c.to, c.failIfExists)) << c.to;
        EXPECT_EQ(GetLastError(), c.error) << c.to;
    }
    EXPECT_EQ(fs().ReadFile("C:\\busy.txt"), "old");
    // Copying from a file another program holds open works.
    EXPECT_TRUE(CopyFileA("C:\\busy.txt", "C:\\plain.txt", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST_F(FileSystemXp, DelayedMoveFileExRecordsTheSessionManagerValue) {
    ASSERT_TRUE(MoveFileExA("C:\\WINDOWS\\system32\\drivers\\old.sys", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileExA("c:/new.sys", "C:\\WINDOWS\\system32\\drivers\\tav.sys",
                            MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    ASSERT_TRUE(MoveFileExA("C:\\a.tmp", "C:\\b.tmp", MOVEFILE_DELAY_UNTIL_REBOOT));

    const auto value = m_.registry().GetValue(kSessionManager, "PendingFileRenameOperations");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_MULTI_SZ));
    const std::string nul(1, '\0');
    const std::string expected = "\\??\\C:\\WINDOWS\\system32\\drivers\\old.sys" + nul + nul +  // a deletion
                                 "\\??\\C:\\new.sys" + nul + "!\\??\\C:\\WINDOWS\\system32\\drivers\\tav.sys" + nul +
                                 "\\??\\C:\\a.tmp" + nul + "\\??\\C:\\b.tmp" + nul + nul;
    EXPECT_EQ(value->data, expected);

    const auto ops = fs().PendingOperations();
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[0].source, "C:\\WINDOWS\\system32\\drivers\\old.sys");
    EXPECT_EQ(ops[0].target, "");
    EXPECT_EQ(ops[1].source, "C:\\new.sys");
    EXPECT_EQ(ops[1].target, "C:\\WINDOWS\\system32\\drivers\\tav.sys");
    EXPECT_EQ(ops[2].target, "C:\\b.tmp");
    // Nothing moved yet.
    EXPECT_FALSE(fs().Exists("C:\\b.tmp"));
}

TEST_F(FileSystemXp, ImmediateMoveFileExRenamesAndHonoursReplaceExisting) {
    fs().WriteFile("C:\\a.txt", "a");
    fs().WriteFile("C:\\b.txt", "b");
    EXPECT_FALSE(MoveFileExA("C:\\a.txt", "C:\\b.txt", 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ASSERT_TRUE(MoveFileExA("C:\\a.txt", "C:\\b.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(fs().ReadFile("C:\\b.txt"), "a");
    EXPECT_FALSE(fs().Exists("C:\\a.txt"));
    ASSERT_TRUE(MoveFileExA("C:\\b.txt", "C:\\WINDOWS\\Moved.txt", 0));
    EXPECT_EQ(fs().List("C:\\WINDOWS").front(), "inf");
    EXPECT_TRUE(fs().Exists("C:\\WINDOWS\\moved.txt"));
    EXPECT_FALSE(MoveFileExA("C:\\none.txt", "C:\\x.txt", 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(fs().PendingOperations().empty());
}

TEST_F(FileSystem98, MoveFileExIsNotImplemented) {
    fs().WriteFile("C:\\a.txt", "a");
    EXPECT_FALSE(MoveFileExA("C:\\a.txt", "C:\\b.txt", 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_FALSE(MoveFileExA("C:\\a.txt", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_TRUE(fs().Exists("C:\\a.txt"));
}

TEST_F(FileSystem98, WininitRenameSectionHoldsOneNulKeyAndListsInFileOrder) {
    ASSERT_TRUE(WritePrivateProfileStringA("rename", "NUL", "C:\\WINDOWS\\SYSTEM\\old1.vxd", "WININIT.INI"));
    EXPECT_EQ(fs().ReadFile("C:\\WINDOWS\\WININIT.INI"), "[rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\old1.vxd\r\n");
    EXPECT_EQ(fs().Attributes("C:\\WINDOWS\\WININIT.INI"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    // A second write of the same key replaces the first: one deletion only.
    ASSERT_TRUE(WritePrivateProfileStringA("rename", "NUL", "C:\\WINDOWS\\SYSTEM\\old2.vxd", "WININIT.INI"));
    ASSERT_TRUE(WritePrivateProfileStringA("rename", "C:\\WINDOWS\\SYSTEM\\tav.vxd", "C:\\WINDOWS\\TEMP\\tav.vxd",
                                           "wininit.ini"));
    auto ops = fs().PendingOperations();
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].source, "C:\\WINDOWS\\SYSTEM\\old2.vxd");
    EXPECT_EQ(ops[0].target, "");
    EXPECT_EQ(ops[1].source, "C:\\WINDOWS\\TEMP\\tav.vxd");
    EXPECT_EQ(ops[1].target, "C:\\WINDOWS\\SYSTEM\\tav.vxd");

    // Written by hand, repeated NUL lines all count, in file order.
    fs().WriteFile("C:\\WINDOWS\\WININIT.INI", "[Rename]\nNUL=C:\\a\nnul=C:\\b\nC:\\c=C:\\d\n");
    ops = fs().PendingOperations();
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[1].source, "C:\\b");
    EXPECT_EQ(ops[2].target, "C:\\c");
}

TEST_F(FileSystemXp, FindListsDotsFirstThenSortedNamesOnNt) {
    fs().CreateFolder("C:\\pkg");
    for (const char* name : {"zeta.inf", "Alpha.sys", "beta.INF", "_x.txt", "sub"}) {
        if (std::strcmp(name, "sub") == 0) {
            fs().CreateFolder(std::string("C:\\pkg\\") + name);
        } else {
            fs().WriteFile(std::string("C:\\pkg\\") + name, "1234");
        }
    }
    EXPECT_EQ(Find("C:\\pkg\\*"), (Names{".", "..", "Alpha.sys", "beta.INF", "sub", "zeta.inf", "_x.txt"}));
    EXPECT_EQ(Find("C:\\pkg\\*.*"), Find("C:\\pkg\\*"));
    EXPECT_EQ(Find("C:\\pkg\\*.inf"), (Names{"beta.INF", "zeta.inf"}));
    EXPECT_EQ(Find("C:\\pkg\\?eta.*"), (Names{"beta.INF", "zeta.inf"}));
    EXPECT_EQ(Find("C:\\pkg\\*."), Names{"sub"});  // names without a dot
    EXPECT_EQ(Find("C:\\pkg\\sub"), Names{"sub"});
    // The root has no "." or "..".
    const Names root = Find("C:\\*");
    EXPECT_EQ(std::count(root.begin(), root.end(), "."), 0);
    EXPECT_EQ(std::count(root.begin(), root.end(), ".."), 0);

    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA("C:\\pkg\\*", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    ASSERT_TRUE(FindNextFileA(h, &data));
    ASSERT_TRUE(FindNextFileA(h, &data));
    EXPECT_STREQ(data.cFileName, "Alpha.sys");
    EXPECT_EQ(data.nFileSizeLow, 4u);
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(FindClose(h));
}

TEST_F(FileSystem98, FindListsInCreationOrderOnFat) {
    for (const char* name : {"zeta.inf", "Alpha.sys", "beta.INF"}) fs().WriteFile(std::string("C:\\pkg\\") + name, "");
    EXPECT_EQ(Find("C:\\pkg\\*.*"), (Names{".", "..", "zeta.inf", "Alpha.sys", "beta.INF"}));
    EXPECT_EQ(Find("C:\\*"), (Names{"WINDOWS", "Program Files", "pkg"}));
}

// FAT gives every entry a short name: the name in upper case when it fits
// 8.3, else an alias numbered in the order the entries were made. Windows
// finds an entry by either, and GetShortPathNameA answers with them.
TEST_F(FileSystem98, ShortNamesAreFatAliasesInCreationOrder) {
    fs().WriteFile("C:\\Program Files\\Zelmar\\Solvane App\\Solvane Client.html", "x");
    fs().CreateFolder("C:\\Program Stuff");  // after the machine's own "Program Files"
    fs().WriteFile("C:\\Program Files\\Zelmar\\a+b;c.txt", "");
    fs().WriteFile("C:\\Program Files\\Zelmar\\readme.txt", "");
    char out[MAX_PATH];
    const char* const kLong = "C:\\Program Files\\Zelmar\\Solvane App\\Solvane Client.html";
    const char* const kShort = "C:\\PROGRA~1\\ZELMAR\\SOLVAN~1\\SOLVAN~1.HTM";
    EXPECT_EQ(GetShortPathNameA(kLong, out, sizeof out), std::strlen(kShort));
    EXPECT_STREQ(out, kShort);
    EXPECT_EQ(GetShortPathNameA(kLong, out, 5), std::strlen(kShort) + 1);  // the size needed, NUL included
    EXPECT_EQ(GetShortPathNameA("c:\\program stuff", out, sizeof out), 11u);
    EXPECT_STREQ(out, "c:\\PROGRA~2");
    ASSERT_NE(GetShortPathNameA("C:\\Program Files\\Zelmar\\a+b;c.txt", out, sizeof out), 0u);
    EXPECT_STREQ(out, "C:\\PROGRA~1\\ZELMAR\\A_B_C~1.TXT");
    ASSERT_NE(GetShortPathNameA("C:\\PROGRA~1\\Zelmar\\readme.txt", out, sizeof out), 0u);
    EXPECT_STREQ(out, "C:\\PROGRA~1\\ZELMAR\\README.TXT");

    SetLastError(0xDEAD);
    EXPECT_EQ(GetShortPathNameA("C:\\Program Files\\none.txt", out, sizeof out), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // The aliases name the entries everywhere, and a search reports them.
    EXPECT_TRUE(DeleteFileA("C:\\PROGRA~1\\ZELMAR\\SOLVAN~1\\SOLVAN~1.HTM"));
    EXPECT_FALSE(fs().Exists(kLong));
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA("C:\\PROGRA~2", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "Program Stuff");
    EXPECT_STREQ(data.cAlternateFileName, "PROGRA~2");
    EXPECT_TRUE(FindClose(find));
    EXPECT_EQ(fs().LongPath("c:\\progra~1\\zelmar"), "C:\\Program Files\\Zelmar");
}

// NTFS keeps an alias only for a name that does not fit 8.3, numbers four
// of one basis and then hashes; a short name is answered as written.
TEST_F(FileSystemXp, NtfsMakesAliasesOnlyForNamesThatDoNotFit) {
    fs().WriteFile("C:\\Program Files\\Zelmar\\readme.txt", "");
    char out[MAX_PATH];
    ASSERT_NE(GetShortPathNameA("c:\\program files\\zelmar\\readme.txt", out, sizeof out), 0u);
    EXPECT_STREQ(out, "c:\\PROGRA~1\\zelmar\\readme.txt");
    std::vector<std::string> aliases;
    for (int i = 1; i <= 5; ++i) {
        const std::string folder = "C:\\Solvane Folder " + std::to_string(i);
        fs().CreateFolder(folder);
        ASSERT_NE(GetShortPathNameA(folder.c_str(), out, sizeof out), 0u);
        aliases.push_back(out);
    }
    EXPECT_EQ(aliases[0], "C:\\SOLVAN~1");
    EXPECT_EQ(aliases[3], "C:\\SOLVAN~4");
    EXPECT_EQ(aliases[4].substr(0, 5), "C:\\SO");
    EXPECT_EQ(aliases[4].substr(aliases[4].size() - 2), "~1");
    EXPECT_EQ(aliases[4].size(), 11u);
    EXPECT_TRUE(fs().IsFolder(aliases[4]));
}

TEST_F(FileSystemXp, FindReportsMissingFoldersNoMatchesAndBadHandles) {
    DWORD error = 0;
    EXPECT_TRUE(Find("C:\\nowhere\\*.inf", &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(Find("C:\\WINDOWS\\inf\\*.inf", &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(Find("C:\\", &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(Find("C:\\WIN*\\inf", &error).empty());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_NAME));

    WIN32_FIND_DATAA data;
    EXPECT_FALSE(FindClose(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x4242))));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HANDLE h = FindFirstFileA("C:\\WINDOWS", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(FindNextFileA(h, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    // A find handle is no file handle.
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_TRUE(FindClose(h));
    EXPECT_FALSE(FindClose(h));
}

TEST_F(FileSystemXp, OpenHandleCountShowsForgottenHandles) {
    fs().WriteFile("C:\\a.txt", "abc");
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA("C:\\*", &data);
    HANDLE file = CreateFileA("C:\\a.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(fs().OpenHandleCount(), 2u);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(fs().OpenHandleCount(), 1u);  // the search was never closed
    EXPECT_TRUE(FindClose(find));
    EXPECT_EQ(fs().OpenHandleCount(), 0u);
}

TEST_F(FileSystemXp, HandleOutlivesTheFolderItsFileWasRemovedWith) {
    fs().WriteFile("C:\\gone\\deep\\f.txt", "abc");
    fs().CreateFolder("C:\\other");
    HANDLE h = CreateFileA("C:\\gone\\deep\\f.txt", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(fs().Remove("C:\\gone"));
    // Checks that walk from open files up to their folders meet the orphan.
    EXPECT_TRUE(MoveFileExA("C:\\other", "C:\\moved", 0));
    EXPECT_EQ(fs().Dump().find("f.txt"), std::string::npos);
    DWORD n = 0;
    EXPECT_TRUE(WriteFile(h, "xy", 2, &n, nullptr));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(fs().OpenHandleCount(), 0u);
}

TEST_F(FileSystemXp, CreateFileDispositionsAndSequentialIo) {
    HANDLE h = CreateFileA("C:\\new.log", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "hello ", 6, &n, nullptr));
    ASSERT_TRUE(WriteFile(h, "world", 5, &n, nullptr));
    char buf[8];
    EXPECT_FALSE(ReadFile(h, buf, sizeof buf, &n, nullptr));  // opened for writing only
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    // Not shared: a second open fails while the first lasts.
    EXPECT_EQ(CreateFileA("C:\\new.log", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    ASSERT_TRUE(CloseHandle(h));
    EXPECT_EQ(fs().ReadFile("C:\\new.log"), "hello world");
    EXPECT_EQ(fs().Attributes("C:\\new.log"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));

    EXPECT_EQ(CreateFileA("C:\\new.log", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    h = CreateFileA("C:\\new.log", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ASSERT_TRUE(ReadFile(h, buf, 5, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "hello");
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), " world");
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(n, 0u);  // the end of the file is no error
    CloseHandle(h);
    h = CreateFileA("C:\\new.log", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(h);
    EXPECT_EQ(fs().ReadFile("C:\\new.log"), "");

    EXPECT_EQ(CreateFileA("C:\\none.log", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(CreateFileA("C:\\WINDOWS", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    // A file another program holds open can be read, but not written.
    fs().WriteFile("C:\\busy.dll", "MZ");
    fs().SetInUse("C:\\busy.dll", true);
    EXPECT_EQ(CreateFileA("C:\\busy.dll", GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    h = CreateFileA("C:\\busy.dll", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_EQ(fs().OpenHandleCount(), 0u);
}

// ---- failures on demand ------------------------------------------------------------

TEST_F(FileSystemXp, FailuresOnDemandFailTheCallAndLeaveTheDriveAsItWas) {
    fs().WriteFile("C:\\WINDOWS\\inf\\x.inf", "x");
    fs().CreateFolder("C:\\empty");
    const sim::FileSystemSnapshot before = fs().Snapshot();

    // Once, for the full path however the tool spells it.
    m_.faults.Add({"DeleteFileA", "c:\\windows\\INF\\X.INF", ERROR_ACCESS_DENIED, true});
    SetLastError(0);
    EXPECT_FALSE(DeleteFileA("C:/WINDOWS/system32/../inf/x.inf"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(m_.faults.Pending().empty());

    // Every time, for a copy that names the path as its source or its
    // target, and for no other copy.
    m_.faults.Add({"CopyFileA", "C:\\WINDOWS\\inf\\x.inf", ERROR_SHARING_VIOLATION, false});
    for (const auto& [from, to] : {std::pair{"C:\\WINDOWS\\inf\\x.inf", "C:\\y.inf"},
                                   std::pair{"C:\\y.inf", "C:\\WINDOWS\\inf\\x.inf"}}) {
        SetLastError(0);
        EXPECT_FALSE(CopyFileA(from, to, FALSE)) << from << " " << to;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    EXPECT_FALSE(CopyFileA("C:\\none.inf", "C:\\z.inf", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));  // its own failure, not the one asked for

    // Each function that acts on a path asks before it acts.
    const char* const kFile = "C:\\WINDOWS\\inf\\x.inf";
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"SetFileAttributesA", [&] { return SetFileAttributesA(kFile, FILE_ATTRIBUTE_HIDDEN) != FALSE; }},
        {"MoveFileExA", [&] { return MoveFileExA(kFile, "C:\\x.inf", 0) != FALSE; }},
        {"CreateDirectoryA", [] { return CreateDirectoryA("C:\\new", nullptr) != FALSE; }},
        {"RemoveDirectoryA", [] { return RemoveDirectoryA("C:\\empty") != FALSE; }},
        {"CreateFileA",
         [&] { return CreateFileA(kFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr) != INVALID_HANDLE_VALUE; }},
        {"WritePrivateProfileStringA", [] { return WritePrivateProfileStringA("s", "k", "v", "tool.ini") != FALSE; }},
        {"FindFirstFileA", [] {
             WIN32_FIND_DATAA data;
             return FindFirstFileA("C:\\WINDOWS\\inf\\*", &data) != INVALID_HANDLE_VALUE;
         }},
    };
    for (const auto& [call, act] : calls) {
        m_.faults.Add({call, "", ERROR_GEN_FAILURE, true});
        SetLastError(0);
        EXPECT_FALSE(act()) << call;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE)) << call;
    }
    EXPECT_TRUE(before.entries == fs().Snapshot().entries);
    EXPECT_EQ(fs().OpenHandleCount(), 0u);
    EXPECT_TRUE(m_.transcript.OfKind("file").empty());
    const auto failures = m_.transcript.OfKind("failure");
    ASSERT_FALSE(failures.empty());
    EXPECT_EQ(failures.front().text, "DeleteFileA C:\\WINDOWS\\inf\\x.inf -> error 5 (on demand)");

    // The once-request is used up: the file goes now.
    EXPECT_TRUE(DeleteFileA(kFile));
}

TEST_F(FileSystemXp, EveryChangeThroughKernel32IsInTheTranscript) {
    fs().WriteFile("C:\\a.txt", "a");
    ASSERT_TRUE(SetFileAttributesA("C:\\a.txt", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateDirectoryA("C:\\Tools", nullptr));
    HANDLE h = CreateFileA("c:\\tools\\log.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "hello", 5, &n, nullptr));
    CloseHandle(h);
    ASSERT_TRUE(MoveFileExA("C:\\Tools\\log.txt", "C:\\Tools\\LOG.TXT", 0));
    ASSERT_TRUE(MoveFileExA("C:\\a.txt", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "v", "C:\\Tools\\t.ini"));
    std::vector<std::string> lines;
    for (const auto& e : m_.transcript.OfKind("file")) lines.push_back(e.text);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "SetFileAttributes C:\\a.txt [R]",
                         "CreateDirectory C:\\Tools",
                         "CreateFile C:\\Tools\\log.txt (new)",
                         "WriteFile C:\\Tools\\log.txt 5 bytes at 0",
                         "MoveFileEx C:\\Tools\\log.txt -> C:\\Tools\\LOG.TXT",
                         "MoveFileEx at restart C:\\a.txt -> (delete)",
                         "WritePrivateProfileString C:\\Tools\\t.ini [s] k=v",
                     }));
}

TEST_F(FileSystemXp, DumpSnapshotAndHostImport) {
    const std::filesystem::path host = std::filesystem::temp_directory_path() / "tav_fs_import_test";
    std::filesystem::remove_all(host);
    std::filesystem::create_directories(host / "Program Files" / "Zelmar");
    std::ofstream(host / "Program Files" / "Zelmar" / "Tavarin.INI") << "[x]\r\n";
    std::ofstream(host / "boot.ini") << "boot";
    std::string error;
    ASSERT_TRUE(fs().ImportHostFolder(host.string(), "C:\\", &error)) << error;
    EXPECT_EQ(fs().ReadFile("c:\\program files\\zelmar\\tavarin.ini"), "[x]\r\n");
    EXPECT_EQ(fs().List("C:\\Program Files\\Zelmar"), Names{"Tavarin.INI"});
    EXPECT_FALSE(fs().ImportHostFolder((host / "missing").string(), "C:\\", &error));
    EXPECT_FALSE(error.empty());
    std::filesystem::remove_all(host);

    fs().SetInUse("C:\\boot.ini", true);
    const std::string dump = fs().Dump();
    EXPECT_NE(dump.find("C:\\ [DHS]\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("\n  boot.ini [N] 4 bytes (in use)\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("\n      Tavarin.INI [N] 5 bytes\n"), std::string::npos) << dump;

    const sim::FileSystemSnapshot before = fs().Snapshot();
    ASSERT_FALSE(before.entries.empty());
    EXPECT_EQ(before.entries[0].path, "C:\\");
    EXPECT_EQ(before.entries[1].path, "C:\\boot.ini");
    ASSERT_TRUE(SetFileAttributesA("C:\\boot.ini", FILE_ATTRIBUTE_HIDDEN));
    const sim::FileSystemSnapshot after = fs().Snapshot();
    EXPECT_FALSE(before.entries == after.entries);
    EXPECT_EQ(after.entries[1].attributes, static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
}

}  // namespace
