// The utility's shortcuts and Start Menu group: for the current user and
// all users on every Windows, and in every user profile on 98 SE / Me.
#include <gtest/gtest.h>

#include <string>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "cleanup/shortcuts.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/registry.h"
#include "tests/support/tool_fixture.h"

namespace {

using sim::WindowsVersion;

const char* const kUserFolders = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const kCommonFolders = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const kXpUser = "C:\\Documents and Settings\\Owner\\Start Menu\\Programs";
const char* const kXpAll = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs";

class ShortcutsTest : public ToolTest {
protected:
    void Use(WindowsVersion version) {
        UseMachine(version);
        InitWindowsKind();
        SelectProductProfile(2);
    }
    sim::FileSystem& files() { return machine().files(); }
    void Put(const std::string& path) { files().WriteFile(path, "shortcut"); }
};

TEST_F(ShortcutsTest, TheGroupGoesWhenEmptiedAndStaysWithAnotherProductsShortcut) {
    Use(WindowsVersion::WinXP);
    Put(std::string(kXpUser) + "\\Startup\\Tavarin 802.11.lnk");
    Put(std::string(kXpUser) + "\\Zelmar\\Tavarin 802.11.lnk");
    Put(std::string(kXpUser) + "\\Zelmar\\Tavarin 802.11 Help.lnk");
    Put(std::string(kXpAll) + "\\Startup\\Tavarin 802.11.lnk");
    Put(std::string(kXpAll) + "\\Zelmar\\Tavarin 802.11.lnk");
    Put(std::string(kXpAll) + "\\Zelmar\\Solvane 802.11a.lnk");
    RemoveUtilityShortcuts();
    EXPECT_FALSE(files().Exists(std::string(kXpUser) + "\\Startup\\Tavarin 802.11.lnk"));
    EXPECT_FALSE(files().Exists(std::string(kXpUser) + "\\Zelmar"));
    EXPECT_FALSE(files().Exists(std::string(kXpAll) + "\\Startup\\Tavarin 802.11.lnk"));
    EXPECT_FALSE(files().Exists(std::string(kXpAll) + "\\Zelmar\\Tavarin 802.11.lnk"));
    EXPECT_TRUE(files().Exists(std::string(kXpAll) + "\\Zelmar\\Solvane 802.11a.lnk"));
}

// "StartMenuGroup" names the group; a missing "Common Startup" skips only
// its own step.
TEST_F(ShortcutsTest, TheStoredGroupNameIsUsedAndAMissingFolderValueSkipsOnlyItsStep) {
    Use(WindowsVersion::Win2000);
    machine().registry().SetString("HKLM\\Software\\Zelmar\\TavarinApp", "StartMenuGroup", "Tavarin Wireless");
    machine().registry().DeleteValue(kCommonFolders, "Common Startup");
    Put(std::string(kXpAll) + "\\Startup\\Tavarin 802.11.lnk");
    Put(std::string(kXpAll) + "\\Zelmar\\Tavarin 802.11.lnk");
    Put(std::string(kXpAll) + "\\Tavarin Wireless\\Tavarin 802.11.lnk");
    RemoveUtilityShortcuts();
    EXPECT_TRUE(files().Exists(std::string(kXpAll) + "\\Startup\\Tavarin 802.11.lnk"));
    EXPECT_TRUE(files().Exists(std::string(kXpAll) + "\\Zelmar\\Tavarin 802.11.lnk"));
    EXPECT_FALSE(files().Exists(std::string(kXpAll) + "\\Tavarin Wireless"));
    // Windows 2000 has no user profiles below the Windows folder to walk.
    for (const auto& line : machine().transcript.OfKind("failure")) {
        EXPECT_EQ(line.text.find("Profiles"), std::string::npos) << line.text;
    }
}

// On 98 SE / Me every profile below C:\Windows\Profiles is walked, and its
// ".." entry reaches the Windows folder's own Start Menu; a shortcut in use
// there goes at the next start.
TEST_F(ShortcutsTest, On98SeEveryProfileAndTheWindowsFoldersOwnStartMenuAreCleared) {
    Use(WindowsVersion::Win98SE);
    machine().registry().DeleteValue(kUserFolders, "Programs");
    machine().registry().DeleteValue(kUserFolders, "Startup");
    const std::string own = "C:\\WINDOWS\\Start Menu\\Programs";
    const std::string owner = "C:\\WINDOWS\\Profiles\\Owner\\Start Menu\\Programs";
    Put(own + "\\StartUp\\Tavarin 802.11.lnk");
    Put(own + "\\Zelmar\\Tavarin 802.11.lnk");
    Put(owner + "\\Zelmar\\Tavarin 802.11 Help.lnk");
    Put(owner + "\\StartUp\\Tavarin 802.11.lnk");
    files().SetInUse(owner + "\\StartUp\\Tavarin 802.11.lnk", true);
    RemoveUtilityShortcuts();
    EXPECT_FALSE(files().Exists(own + "\\StartUp\\Tavarin 802.11.lnk"));
    EXPECT_FALSE(files().Exists(own + "\\Zelmar"));
    EXPECT_FALSE(files().Exists(owner + "\\Zelmar"));
    ASSERT_EQ(files().PendingOperations().size(), 1u);
    EXPECT_EQ(files().PendingOperations()[0].source, "C:\\WINDOWS\\PROFILES\\OWNER\\STARTM~1\\PROGRAMS\\STARTUP\\TAVARI~1.LNK");
}

}  // namespace
