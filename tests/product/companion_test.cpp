// The Boingo companion: its installer started from the installation folder,
// and its removal through Windows Installer, waited for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "cleanup/companion.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/processes.h"
#include "sim/machine/registry.h"
#include "tests/support/tool_fixture.h"

namespace {

const char* const kTavarinKey = "HKLM\\Software\\Zelmar\\TavarinApp";
const char* const kUninstallKey =
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{736CAD5F-0944-4498-BF9E-0E75549854C7}";
const char* const kFolder = "C:\\Program Files\\Zelmar\\Tavarin";

class CompanionTest : public ToolTest {
protected:
    void Prepare(sim::WindowsVersion version, int profile = 2) {
        UseMachine(version);
        InitWindowsKind();
        SelectProductProfile(profile);
        machine().files().WriteFile(std::string(kFolder) + "\\Boingo\\boisetup.exe", "MZ");
        // An installer at the root of the drive, which must never be started.
        machine().files().WriteFile("C:\\Boingo\\boisetup.exe", "MZ");
        machine().files().WriteFile(Msiexec(), "MZ");
    }

    std::string Msiexec() { return machine().SystemDir() + "\\msiexec.exe"; }

    std::vector<std::string> Starts() {
        std::vector<std::string> out;
        for (const auto& e : machine().transcript.OfKind("process")) out.push_back(e.text);
        return out;
    }

    void ExpectNothingLeftOpen() {
        EXPECT_EQ(machine().processes().OpenHandleCount(), 0u);
        EXPECT_EQ(machine().registry().OpenHandleCount(), 0u);
    }

    void ChooseCompanion(const std::string& choice) {
        machine().registry().SetString(std::string("HKLM\\") + ProfileKeyPath, "BoingoInstallRun", choice);
    }
};

TEST_F(CompanionTest, RegReadKeyStringReadsTextsAndReportsWhatItCannot) {
    Prepare(sim::WindowsVersion::WinXP);
    sim::Registry& reg = machine().registry();
    reg.SetString(kTavarinKey, "InstallPath", kFolder);
    reg.SetValue(kTavarinKey, "Empty", REG_SZ, "");
    reg.SetString(kTavarinKey, "Long", std::string(300, 'x'));
    reg.SetValue(kTavarinKey, "Unterminated", REG_SZ, std::string(260, 'u'));

    char text[260];
    EXPECT_EQ(RegReadKeyString(HKEY_LOCAL_MACHINE, "Software\\Zelmar\\TavarinApp", "InstallPath", text, sizeof text),
              1);
    EXPECT_STREQ(text, kFolder);
    EXPECT_EQ(RegReadKeyString(HKEY_LOCAL_MACHINE, "Software\\Zelmar\\TavarinApp", "Empty", text, sizeof text), 1);
    EXPECT_STREQ(text, "");
    // 260 bytes without a NUL still make a terminated text, but not in a
    // smaller buffer.
    char big[261];
    EXPECT_EQ(RegReadKeyString(HKEY_LOCAL_MACHINE, "Software\\Zelmar\\TavarinApp", "Unterminated", big, sizeof big),
              1);
    EXPECT_EQ(std::string(big), std::string(260, 'u'));
    EXPECT_EQ(RegReadKeyString(HKEY_LOCAL_MACHINE, "Software\\Zelmar\\TavarinApp", "Unterminated", text, sizeof text),
              0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(RegReadKeyString(HKEY_LOCAL_MACHINE, "Software\\Zelmar\\TavarinApp", "Long", text, sizeof text), 0);
    EXPECT_EQ(RegReadKeyString(HKEY_LOCAL_MACHINE, "Software\\Zelmar\\TavarinApp", "Missing", text, sizeof text), 0);
    EXPECT_EQ(RegReadKeyString(HKEY_LOCAL_MACHINE, "Software\\Zelmar\\Missing", "InstallPath", text, sizeof text), 0);
    EXPECT_EQ(reg.OpenHandleCount(), 0u);

    // A key of the caller's own, given with no sub-key, stays open.
    HKEY own = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zelmar\\TavarinApp", 0, KEY_READ, &own), ERROR_SUCCESS);
    EXPECT_EQ(RegReadKeyString(own, nullptr, "InstallPath", text, sizeof text), 1);
    EXPECT_EQ(reg.OpenHandleCount(), 1u);
    RegCloseKey(own);
}

TEST_F(CompanionTest, TheInstallerIsStartedFromTheInstallationFolder) {
    for (const std::string& folder : {std::string(kFolder), std::string(kFolder) + "\\"}) {
        Prepare(sim::WindowsVersion::WinXP, 1);  // the utility's key, whatever the profile
        machine().registry().SetString(kTavarinKey, "InstallPath", folder);
        machine().registry().SetString("HKLM\\Software\\Zelmar\\SolvaneAppB", "InstallPath", "C:\\Other");
        RunCompanionInstaller();
        EXPECT_EQ(Starts(), std::vector<std::string>{std::string(kFolder) + "\\Boingo\\boisetup.exe"});
        ExpectNothingLeftOpen();
    }
}

TEST_F(CompanionTest, WithoutAnInstallationFolderNothingIsStarted) {
    // Neither a missing nor an empty "InstallPath" may lead to the installer
    // at the root of the current drive.
    Prepare(sim::WindowsVersion::Win98SE);
    RunCompanionInstaller();
    EXPECT_TRUE(Starts().empty());
    machine().registry().SetString(kTavarinKey, "InstallPath", "");
    RunCompanionInstaller();
    EXPECT_TRUE(Starts().empty());
    EXPECT_TRUE(machine().processes().Processes().empty());

    // A folder whose path with the installer would not fit starts nothing.
    machine().registry().SetString(kTavarinKey, "InstallPath", "C:\\" + std::string(240, 'f'));
    RunCompanionInstaller();
    EXPECT_TRUE(Starts().empty());
    ExpectNothingLeftOpen();
}

TEST_F(CompanionTest, UninstallRunsWindowsInstallerAndWaitsForIt) {
    for (auto version : {sim::WindowsVersion::WinXP, sim::WindowsVersion::Win2000, sim::WindowsVersion::NT4,
                         sim::WindowsVersion::Win98SE, sim::WindowsVersion::WinMe}) {
        Prepare(version);
        ChooseCompanion("1");
        machine().registry().CreateKey(kUninstallKey);
        sim::ProgramScript msiexec;
        msiexec.runsFor = 20000;
        msiexec.onStart = [](sim::Machine& m, const sim::ProcessRecord&) { m.registry().DeleteKeyTree(kUninstallKey); };
        machine().processes().ScriptProgram("msiexec.exe", msiexec);

        UninstallCompanion();
        EXPECT_EQ(Starts(), std::vector<std::string>{Msiexec() + " /x {736CAD5F-0944-4498-BF9E-0E75549854C7} /qb"});
        EXPECT_EQ(machine().clock.Now(), 20000u);  // it was waited for
        EXPECT_FALSE(machine().processes().IsRunning(Msiexec()));
        EXPECT_FALSE(machine().registry().KeyExists(kUninstallKey));
        ExpectNothingLeftOpen();
    }
}

TEST_F(CompanionTest, OnlyTheExactChoiceOfAnInstalledCompanionStartsTheUninstall) {
    for (const char* choice : {"", "0", "1 ", "11", " 1", "1\n"}) {
        Prepare(sim::WindowsVersion::WinXP);
        machine().registry().CreateKey(kUninstallKey);
        ChooseCompanion(choice);
        UninstallCompanion();
        EXPECT_TRUE(Starts().empty()) << "choice \"" << choice << "\"";
    }
    // A stored value longer than the ten bytes offered is not read, even
    // when its text is "1".
    Prepare(sim::WindowsVersion::WinXP);
    machine().registry().CreateKey(kUninstallKey);
    machine().registry().SetValue(std::string("HKLM\\") + ProfileKeyPath, "BoingoInstallRun", REG_SZ,
                                  std::string("1\0xxxxxxxxxx", 12));
    UninstallCompanion();
    EXPECT_TRUE(Starts().empty());

    // Chosen but not installed: skipped silently.
    Prepare(sim::WindowsVersion::WinXP);
    ChooseCompanion("1");
    UninstallCompanion();
    EXPECT_TRUE(Starts().empty());
    ExpectNothingLeftOpen();
}

}  // namespace
