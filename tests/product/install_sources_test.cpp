// The setup source path, the user's source list, and the INF and catalog
// copies of Windows 98 SE / Me.
#include <gtest/gtest.h>

#include <string>

#include "app/product_profile.h"
#include "app/windows_kind.h"
#include "driver/install_sources.h"
#include "sim/machine/devices/devices.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/registry.h"
#include "sim/machine/window_manager.h"
#include "tests/support/tool_fixture.h"

namespace {

using sim::WindowsVersion;

const char* const kSetup = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup";
const char* const kCatalogs = "C:\\WINDOWS\\SYSTEM\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";

class InstallSourcesTest : public ToolTest {
protected:
    void Use(WindowsVersion version, int profile = 2, const std::string& installPath = "C:\\Drv") {
        UseMachine(version);
        ResetSavedInstallSource();
        InitWindowsKind();
        SelectProductProfile(profile);
        if (!installPath.empty()) reg().SetString(std::string("HKLM\\") + ProfileKeyPath, "InstallPath", installPath);
    }
    void TearDown() override { EXPECT_EQ(reg().OpenHandleCount(), 0u); }
    sim::Registry& reg() { return machine().registry(); }
    sim::FileSystem& files() { return machine().files(); }
    std::optional<std::string> SourcePath() { return reg().GetString(kSetup, "SourcePath"); }
};

TEST_F(InstallSourcesTest, TheNtFamilyIsNotTouched) {
    for (WindowsVersion version : {WindowsVersion::Win2000, WindowsVersion::WinXP, WindowsVersion::NT4}) {
        Use(version);
        reg().SetString(kSetup, "SourcePath", "D:\\I386");
        const auto before = reg().Snapshot();
        SetInstallSource(PointSourceAtPackage);
        EXPECT_EQ(SetUserSourceList(), 0);
        SetInstallSource(RestoreSource);
        EXPECT_EQ(reg().Snapshot(), before);
    }
}

TEST_F(InstallSourcesTest, TheSourcePathPointsAtTheInstallFolderDuringTheJob) {
    for (WindowsVersion version : {WindowsVersion::Win98SE, WindowsVersion::WinMe}) {
        Use(version);
        reg().SetString(kSetup, "SourcePath", "C:\\WINDOWS\\OPTIONS\\CABS");
        SetInstallSource(PointSourceAtPackage);
        EXPECT_EQ(SourcePath(), "C:\\Drv\\");
        EXPECT_EQ(reg().GetValue(kSetup, "SourcePath")->data, std::string("C:\\Drv\\") + '\0');
        SetInstallSource(RestoreSource);
        EXPECT_EQ(SourcePath(), "C:\\WINDOWS\\OPTIONS\\CABS");
    }
}

TEST_F(InstallSourcesTest, ARestoreWithNothingCompleteSavedLeavesTheSourcePathAlone) {
    // Absent at the start: absent during the job and after it.
    Use(WindowsVersion::Win98SE);
    SetInstallSource(PointSourceAtPackage);
    EXPECT_FALSE(SourcePath());
    SetInstallSource(RestoreSource);
    EXPECT_FALSE(SourcePath());

    // Longer than the saved-source buffer: never replaced, never cut.
    Use(WindowsVersion::WinMe);
    const std::string longPath = "C:\\" + std::string(300, 's');
    reg().SetString(kSetup, "SourcePath", longPath);
    SetInstallSource(PointSourceAtPackage);
    EXPECT_EQ(SourcePath(), longPath);
    SetInstallSource(RestoreSource);
    EXPECT_EQ(SourcePath(), longPath);

    // A restore without a replace step.
    Use(WindowsVersion::Win98SE);
    reg().SetString(kSetup, "SourcePath", "E:\\CABS");
    SetInstallSource(RestoreSource);
    EXPECT_EQ(SourcePath(), "E:\\CABS");
}

TEST_F(InstallSourcesTest, AMissingOrTooLongInstallFolderKeepsTheSourcePath) {
    Use(WindowsVersion::Win98SE, 2, "");
    reg().SetString(kSetup, "SourcePath", "C:\\WINDOWS\\OPTIONS\\CABS");
    SetInstallSource(PointSourceAtPackage);
    EXPECT_EQ(SourcePath(), "C:\\WINDOWS\\OPTIONS\\CABS");
    SetInstallSource(RestoreSource);
    EXPECT_EQ(SourcePath(), "C:\\WINDOWS\\OPTIONS\\CABS");

    Use(WindowsVersion::Win98SE, 2, "C:\\" + std::string(256, 'p'));  // 259 bytes: "%s\" does not fit
    reg().SetString(kSetup, "SourcePath", "C:\\WINDOWS\\OPTIONS\\CABS");
    SetInstallSource(PointSourceAtPackage);
    EXPECT_EQ(SourcePath(), "C:\\WINDOWS\\OPTIONS\\CABS");
    EXPECT_EQ(SetUserSourceList(), 0);
}

TEST_F(InstallSourcesTest, TheInstallFolderBecomesTheOnlyUserSource) {
    Use(WindowsVersion::WinMe);
    reg().SetMultiString("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Setup", "Installation Sources",
                         {"A:\\", "D:\\WIN9X"});
    EXPECT_EQ(SetUserSourceList(), TRUE);
    EXPECT_EQ(machine().devices().UserSourceList(), (std::vector<std::string>{"C:\\Drv\\"}));

    Use(WindowsVersion::Win98SE, 2, "");
    EXPECT_EQ(SetUserSourceList(), 0);
    EXPECT_TRUE(machine().devices().UserSourceList().empty());
}

class CatalogCopyTest : public InstallSourcesTest {
protected:
    void Package(bool all = true) {
        files().WriteFile("C:\\Drv\\ntzl11ab.inf", "ab inf");
        if (!all) return;
        files().WriteFile("C:\\Drv\\ntzl11ab.cat", "ab cat");
        files().WriteFile("C:\\Drv\\netzl11a.inf", "a inf");
        files().WriteFile("C:\\Drv\\netzl11a.cat", "a cat");
    }
    size_t Boxes() { return machine().windows().MessageBoxes().size(); }
};

TEST_F(CatalogCopyTest, Windows98SeGetsFourFilesAndMeTwo) {
    Use(WindowsVersion::Win98SE);
    files().CreateFolder(kCatalogs);
    Package();
    files().WriteFile("C:\\WINDOWS\\INF\\netzl11a.inf", "older");
    EXPECT_EQ(CopyCatalogFiles(), 1);
    EXPECT_EQ(files().ReadFile("C:\\WINDOWS\\INF\\ntzl11ab.inf"), "ab inf");
    EXPECT_EQ(files().ReadFile("C:\\WINDOWS\\INF\\netzl11a.inf"), "a inf");
    EXPECT_EQ(files().ReadFile(std::string(kCatalogs) + "\\ntzl11ab.cat"), "ab cat");
    EXPECT_EQ(files().ReadFile(std::string(kCatalogs) + "\\netzl11a.cat"), "a cat");
    EXPECT_EQ(Boxes(), 0u);

    Use(WindowsVersion::WinMe);
    files().CreateFolder(kCatalogs);
    Package();
    EXPECT_EQ(CopyCatalogFiles(), 1);
    EXPECT_TRUE(files().Exists("C:\\WINDOWS\\INF\\ntzl11ab.inf"));
    EXPECT_TRUE(files().Exists("C:\\WINDOWS\\INF\\netzl11a.inf"));
    EXPECT_FALSE(files().Exists(std::string(kCatalogs) + "\\ntzl11ab.cat"));
    EXPECT_FALSE(files().Exists(std::string(kCatalogs) + "\\netzl11a.cat"));
}

TEST_F(CatalogCopyTest, APartialCopyIsSilentANoneCopyTellsTheUser) {
    Use(WindowsVersion::Win98SE, 1);
    files().WriteFile("C:\\Drv\\netzl11b.inf", "b inf");
    EXPECT_EQ(CopyCatalogFiles(), 1);
    EXPECT_TRUE(files().Exists("C:\\WINDOWS\\INF\\netzl11b.inf"));
    EXPECT_EQ(Boxes(), 0u);

    Use(WindowsVersion::Win98SE);
    EXPECT_EQ(CopyCatalogFiles(), 0);
    ASSERT_EQ(Boxes(), 1u);
    const auto& box = machine().windows().MessageBoxes()[0];
    EXPECT_EQ(box.text, "The .inf file was not found\nin the installation directory.");
    EXPECT_EQ(box.caption, "");
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.type, static_cast<UINT>(MB_OK));

    Use(WindowsVersion::WinMe, 2, "");
    EXPECT_EQ(CopyCatalogFiles(), 0);
    EXPECT_EQ(Boxes(), 1u);
}

TEST_F(CatalogCopyTest, AnInstallFolderTooLongCopiesNothing) {
    Use(WindowsVersion::Win98SE, 2, "C:\\" + std::string(245, 'q'));
    files().WriteFile("C:\\" + std::string(245, 'q') + "\\ntzl11ab.inf", "ab inf");
    EXPECT_EQ(CopyCatalogFiles(), 0);
    EXPECT_TRUE(files().List("C:\\WINDOWS\\INF").empty());
    EXPECT_EQ(Boxes(), 1u);
}

}  // namespace
