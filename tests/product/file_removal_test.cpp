// Deleting a file at once or, on Windows 98 SE / Me, at the next start of
// Windows through WININIT.INI: every pending deletion its own "NUL=" line,
// in the short form the start-up processing needs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/windows_kind.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sys/file_removal.h"
#include "tests/support/tool_fixture.h"

namespace {

using sim::WindowsVersion;

const char* const kWininit = "C:\\WINDOWS\\WININIT.INI";
const char* const kClient = "C:\\Program Files\\Zelmar\\Solvane App\\Solvane Client.exe";
const char* const kClientShort = "C:\\PROGRA~1\\ZELMAR\\SOLVAN~1\\SOLVAN~1.EXE";
const char* const kHelp = "C:\\Program Files\\Zelmar\\Solvane App\\Help.hlp";

class FileRemovalTest : public ToolTest {
protected:
    void Use(WindowsVersion version) {
        UseMachine(version);
        InitWindowsKind();
    }
    sim::FileSystem& files() { return machine().files(); }
};

TEST_F(FileRemovalTest, OnWindowsXpNothingIsTouched) {
    Use(WindowsVersion::WinXP);
    files().WriteFile(kHelp, "x", FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(DeleteFileNowOrAtBoot(kHelp), 0);
    EXPECT_EQ(files().Attributes(kHelp), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(files().Exists(kWininit));
    EXPECT_EQ(DeleteFileNowOrAtBoot(nullptr), 0);
}

TEST_F(FileRemovalTest, AFileThatIsFreeGoesAtOnceEvenWhenReadOnly) {
    Use(WindowsVersion::Win98SE);
    files().WriteFile(kHelp, "x", FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(DeleteFileNowOrAtBoot(kHelp), 1);
    EXPECT_FALSE(files().Exists(kHelp));
    // A missing file is no deletion to schedule.
    EXPECT_EQ(DeleteFileNowOrAtBoot(kHelp), 0);
    EXPECT_FALSE(files().Exists(kWininit));
}

// The start-up processing deletes every "NUL=" line of [rename]; the
// profile-string writer would keep one, and every earlier file would stay.
TEST_F(FileRemovalTest, EveryFileInUseGetsItsOwnLineInShortFormOnce) {
    Use(WindowsVersion::WinMe);
    files().WriteFile(kWininit, "[Other]\r\nkeep=1\r\n[rename]\r\nNUL=C:\\WINDOWS\\TEMP\\OLD.TMP\r\n");
    files().WriteFile(kClient, "MZ");
    files().WriteFile(kHelp, "?");
    files().SetInUse(kClient, true);
    files().SetInUse(kHelp, true);

    EXPECT_EQ(DeleteFileNowOrAtBoot(kClient), 1);
    EXPECT_EQ(DeleteFileNowOrAtBoot(kHelp), 1);
    EXPECT_EQ(DeleteFileNowOrAtBoot(kClient), 1);  // already scheduled: not again
    EXPECT_EQ(files().ReadFile(kWininit), std::string("[Other]\r\nkeep=1\r\n[rename]\r\n"
                                                      "NUL=C:\\WINDOWS\\TEMP\\OLD.TMP\r\n"
                                                      "NUL=") + kClientShort + "\r\n"
                                                      "NUL=C:\\PROGRA~1\\ZELMAR\\SOLVAN~1\\HELP.HLP\r\n");
    EXPECT_EQ(files().PendingOperations().size(), 3u);
    EXPECT_TRUE(files().Exists(kClient));

    // Without a short form from Windows the path goes as given.
    files().WriteFile("C:\\Data\\x.dat", "");
    files().SetInUse("C:\\Data\\x.dat", true);
    machine().faults.Add({"GetShortPathNameA", "", ERROR_ACCESS_DENIED, true});
    EXPECT_EQ(DeleteFileNowOrAtBoot("C:\\Data\\x.dat"), 1);
    EXPECT_EQ(files().PendingOperations().back().source, "C:\\Data\\x.dat");
}

TEST_F(FileRemovalTest, AWindowsFolderAtTheDriveRootGetsNoSecondBackslash) {
    UseMachine(WindowsVersion::Win98SE, "C:\\");
    InitWindowsKind();
    files().WriteFile("C:\\TAV.DAT", "x");
    files().SetInUse("C:\\TAV.DAT", true);
    EXPECT_EQ(DeleteFileNowOrAtBoot("C:\\TAV.DAT"), 1);
    EXPECT_EQ(files().ReadFile("C:\\WININIT.INI"), "[rename]\r\nNUL=C:\\TAV.DAT\r\n");
    // The file as the tool named it.
    EXPECT_EQ(machine().transcript.OfKind("file").back().text,
              "WritePrivateProfileSection C:\\WININIT.INI [rename] 1 lines");
}

}  // namespace
