// Removing the Solvane 802.11a client application: its shortcuts, its
// program folder (what is in use at the next start), its uninstall entry
// and its key; and never more than its own folder, whatever "ExecPath"
// holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "cleanup/solvane.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/registry.h"
#include "tests/support/tool_fixture.h"

namespace {

using sim::WindowsVersion;

const char* const kAppKey = "HKLM\\Software\\Zelmar\\SolvaneApp";
const char* const kUninstallEntry = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Solvane 802.11a";
const char* const kFolder = "C:\\Program Files\\Zelmar\\Solvane 802.11a";
const char* const kClient = "C:\\Program Files\\Zelmar\\Solvane 802.11a\\Solvane.exe";
const char* const kHelp = "C:\\Program Files\\Zelmar\\Solvane 802.11a\\Solvane Help.chm";
const char* const kXpPrograms = "C:\\Documents and Settings\\Owner\\Start Menu\\Programs";

class SolvaneTest : public ToolTest {
protected:
    // The application installed in kFolder, with its shortcuts for the
    // current user.
    void Install(WindowsVersion version, const std::string& execPath = kFolder) {
        UseMachine(version);
        InitWindowsKind();
        SelectProductProfile(2);
        reg().SetString(kAppKey, "ExecPath", execPath);
        reg().SetString(std::string(kUninstallEntry) + "\\Details", "DisplayName", "Solvane 802.11a");
        files().WriteFile(kClient, "MZ");
        files().WriteFile(kHelp, "ITSF", FILE_ATTRIBUTE_READONLY);
    }
    sim::FileSystem& files() { return machine().files(); }
    sim::Registry& reg() { return machine().registry(); }

    void ExpectKeysGone() {
        EXPECT_FALSE(reg().KeyExists(kAppKey));
        EXPECT_FALSE(reg().KeyExists(kUninstallEntry));
    }
    std::vector<std::string> Pending() {
        std::vector<std::string> out;
        for (const sim::PendingFileOperation& op : files().PendingOperations()) out.push_back(op.source);
        return out;
    }
};

TEST_F(SolvaneTest, AFolderNotInUseGoesAtOnceWithItsShortcutsAndKeys) {
    Install(WindowsVersion::WinXP);
    const std::string group = std::string(kXpPrograms) + "\\Zelmar";
    files().WriteFile(group + "\\Solvane 802.11a.lnk", "lnk");
    files().WriteFile(group + "\\Solvane 802.11a Help.lnk", "lnk");
    files().WriteFile(group + "\\Tavarin 802.11.lnk", "lnk");  // another product's
    files().WriteFile(std::string(kXpPrograms) + "\\Startup\\Solvane 802.11a.lnk", "lnk");
    RemoveSolvaneApplication();
    EXPECT_FALSE(files().Exists(kFolder));
    EXPECT_TRUE(Pending().empty());
    EXPECT_FALSE(files().Exists(group + "\\Solvane 802.11a.lnk"));
    EXPECT_FALSE(files().Exists(std::string(kXpPrograms) + "\\Startup\\Solvane 802.11a.lnk"));
    EXPECT_TRUE(files().Exists(group + "\\Tavarin 802.11.lnk"));
    ExpectKeysGone();
}

TEST_F(SolvaneTest, OnXpAFileInUseAndItsFolderGoAtTheNextStart) {
    Install(WindowsVersion::WinXP);
    files().SetInUse(kClient, true);
    RemoveSolvaneApplication();
    EXPECT_FALSE(files().Exists(kHelp));
    EXPECT_EQ(Pending(), (std::vector<std::string>{kClient, kFolder}));
    ExpectKeysGone();
}

// Each pending deletion is a line of its own, in short form.
TEST_F(SolvaneTest, On98SeAFileInUseAndItsFolderAreTwoLinesOfWininit) {
    Install(WindowsVersion::Win98SE);
    files().SetInUse(kClient, true);
    RemoveSolvaneApplication();
    EXPECT_EQ(Pending(), (std::vector<std::string>{"C:\\PROGRA~1\\ZELMAR\\SOLVAN~1.11A\\SOLVANE.EXE",
                                                   "C:\\PROGRA~1\\ZELMAR\\SOLVAN~1.11A"}));
    ExpectKeysGone();
}

// "." is the folder itself and ".." its parent: neither is the
// application's, so the parent keeps its attributes and stays off the list.
TEST_F(SolvaneTest, TheFoldersOwnAndParentEntriesAreNeverHandedOn) {
    for (WindowsVersion version : {WindowsVersion::WinXP, WindowsVersion::WinMe}) {
        Install(version);
        files().SetAttributes("C:\\Program Files\\Zelmar", FILE_ATTRIBUTE_READONLY);
        RemoveSolvaneApplication();
        EXPECT_EQ(files().Attributes("C:\\Program Files\\Zelmar"),
                  static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
        EXPECT_TRUE(Pending().empty());
        EXPECT_FALSE(files().Exists(kFolder));
    }
}

TEST_F(SolvaneTest, WithoutTheApplicationsKeyNoFileIsTouched) {
    Install(WindowsVersion::Win2000);
    reg().DeleteKeyTree(kAppKey);
    files().WriteFile(std::string(kXpPrograms) + "\\Zelmar\\Solvane 802.11a.lnk", "lnk");
    RemoveSolvaneApplication();
    EXPECT_TRUE(files().Exists(kClient));
    EXPECT_TRUE(files().Exists(kHelp));
    EXPECT_FALSE(files().Exists(std::string(kXpPrograms) + "\\Zelmar"));
    ExpectKeysGone();
}

// One bad registry value must not empty a drive, the Windows folder or
// the program files folder: no file is touched, but the keys still go.
TEST_F(SolvaneTest, AnExecPathThatIsNotTheApplicationsOwnFolderIsRefused) {
    const struct {
        WindowsVersion version;
        const char* execPath;
    } refused[] = {
        {WindowsVersion::WinXP, ""},
        {WindowsVersion::WinXP, "C:\\"},
        {WindowsVersion::WinXP, "C:"},
        {WindowsVersion::WinXP, "C:\\WINDOWS"},
        {WindowsVersion::WinXP, "c:\\windows\\system32\\"},
        {WindowsVersion::WinXP, "C:\\WINDOWS."},
        {WindowsVersion::WinXP, "C:\\\\WINDOWS"},
        {WindowsVersion::WinXP, "C:\\Program Files"},
        {WindowsVersion::WinXP, "C:\\PROGRA~1"},
        {WindowsVersion::WinXP, "C:\\Program Files\\Zelmar\\..\\.."},
        {WindowsVersion::WinXP, "Program Files\\Zelmar\\Solvane 802.11a"},
        {WindowsVersion::WinXP, "\\Program Files\\Zelmar\\Solvane 802.11a"},
        {WindowsVersion::WinXP, "C:\\W*"},
        {WindowsVersion::Win2000, "C:\\WINNT"},
        {WindowsVersion::Win98SE, "C:\\WINDOWS\\SYSTEM"},
        {WindowsVersion::Win98SE, "C:\\PROGRA~1\\ZELMAR\\..\\.."},
    };
    for (const auto& c : refused) {
        Install(c.version, c.execPath);
        const sim::FileSystemSnapshot before = files().Snapshot();
        RemoveSolvaneApplication();
        const sim::FileSystemSnapshot after = files().Snapshot();
        EXPECT_TRUE(after.entries == before.entries) << c.execPath;
        EXPECT_TRUE(Pending().empty()) << c.execPath;
        ExpectKeysGone();
    }
    // The folder itself, with or without its trailing backslash, is fine.
    EXPECT_TRUE(IsRemovableProgramFolder("C:\\Program Files\\Zelmar\\Solvane 802.11a\\"));
    EXPECT_TRUE(IsRemovableProgramFolder("d:\\Solvane"));
}

}  // namespace
