// INF files read as SetupAPI reads them.
#include <gtest/gtest.h>

#include <string>

#include "sim/formats/inf.h"
#include "tests/support/test_infs.h"

namespace {

using sim::InfFile;
using sim::InfPlatform;

InfPlatform Xp() { return InfPlatform{true, 5, 1, true}; }
InfPlatform Win2000() { return InfPlatform{true, 5, 0, false}; }
InfPlatform Win98() { return InfPlatform{false, 4, 10, false}; }

TEST(InfFile, ReadsCommentsQuotesContinuationsAndStrings) {
    const InfFile inf = InfFile::Parse(
        "; a comment line\n"
        "[version]   ; trailing comment\n"
        "Signature=\"$Chicago$\"\n"
        "Provider = %Maker%\n"
        "[Models]\n"
        "\"Card; not a comment\" = Inst , \"ID,WITH\"\"QUOTE\" , \\\n"
        "    COMPAT\\ONE ; comment after a continuation\n"
        "%Desc% = Inst, %Missing%, 100%%\n"
        "[MODELS]\n"
        "Merged = Inst2, ID2\n"
        "[Strings]\n"
        "Maker = \"Zelmar, Inc.\"\n"
        "desc  = \"Zelmar Card\"\n");
    EXPECT_EQ(inf.Provider(), "Zelmar, Inc.");
    EXPECT_EQ(inf.Signature(), "$Chicago$");
    const sim::InfSection* models = inf.Section("models");
    ASSERT_NE(models, nullptr);
    ASSERT_EQ(models->lines.size(), 3u);  // two sections of one name are one section
    EXPECT_EQ(models->lines[0].key, "Card; not a comment");
    EXPECT_EQ(models->lines[0].fields, (std::vector<std::string>{"Inst", "ID,WITH\"QUOTE", "COMPAT\\ONE"}));
    EXPECT_EQ(models->lines[0].lineNumber, 6);
    EXPECT_EQ(models->lines[1].key, "Zelmar Card");
    EXPECT_EQ(models->lines[1].fields, (std::vector<std::string>{"Inst", "%Missing%", "100%"}));
    EXPECT_EQ(models->lines[2].key, "Merged");
}

TEST(InfFile, ModelsFollowTheDecorationsOfTheWindowsReadingThem) {
    const std::string text =
        "[Version]\nSignature=$Windows NT$\n"
        "[Manufacturer]\n%M% = Mk, NTx86.5.1, NTamd64, NT.6.0\n"
        "[Mk]\nPlain = I, PCI\\PLAIN\n"
        "[Mk.NTx86.5.1]\nXp = I, PCI\\XP, PCI\\XPCOMPAT\n"
        "[Mk.NTamd64]\nWide = I, PCI\\WIDE\n"
        "[Mk.NT.6.0]\nLater = I, PCI\\LATER\n"
        "[Strings]\nM = \"Zelmar\"\n";
    const InfFile inf = InfFile::Parse(text);
    auto xp = inf.Models(Xp());
    ASSERT_EQ(xp.size(), 1u);
    EXPECT_EQ(xp[0].hardwareId, "PCI\\XP");
    EXPECT_EQ(xp[0].compatibleIds, (std::vector<std::string>{"PCI\\XPCOMPAT"}));
    EXPECT_EQ(xp[0].manufacturer, "Zelmar");
    // Windows 2000 knows no decorations; the 9x family refuses the INF.
    auto w2k = inf.Models(Win2000());
    ASSERT_EQ(w2k.size(), 1u);
    EXPECT_EQ(w2k[0].hardwareId, "PCI\\PLAIN");
    EXPECT_TRUE(inf.Models(Win98()).empty());
}

TEST(InfFile, InstallSectionsAndTheirRegistryValues) {
    const InfFile inf = InfFile::Parse(testinfs::AInf());
    EXPECT_EQ(inf.InstallSectionFor("a.ndi", Xp()), "A.ndi.NT");
    EXPECT_EQ(inf.InstallSectionFor("A.ndi", Win98()), "A.ndi");
    EXPECT_EQ(inf.InstallSectionFor("Nothing", Xp()), "");
    EXPECT_EQ(inf.DriverDate(), "1-20-2003");
    EXPECT_EQ(inf.DriverVersion(), "1.4.2.0");
    EXPECT_EQ(inf.Models(Win98()).size(), 7u);

    const auto values = inf.DriverKeyValues("A.ndi");
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0].subKey, "Ndi");
    EXPECT_EQ(values[0].name, "Service");
    EXPECT_EQ(values[0].data, std::string("ZL11A") + '\0');
    EXPECT_EQ(values[2].name, "DeviceVxDs");

    const InfFile typed = InfFile::Parse(
        "[I]\nAddReg=R\n[R]\nHKR,,D,0x10001,0x84\nHKR,,M,0x10000,\"a\",\"b\"\nHKR,,B,1,01,ff\n"
        "HKR,Sub,,0x10,\nHKLM,Software\\X,V,0,\"not the driver key\"\n");
    const auto entries = typed.DriverKeyValues("I");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].type, 4u);
    EXPECT_EQ(entries[0].data, std::string("\x84\0\0\0", 4));
    EXPECT_EQ(entries[1].type, 7u);
    EXPECT_EQ(entries[1].data, std::string("a\0b\0\0", 5));
    EXPECT_EQ(entries[2].type, 3u);
    EXPECT_EQ(entries[2].data, std::string("\x01\xff", 2));
}

TEST(InfFile, NewerDriverDatesCompareLater) {
    const InfFile older = InfFile::Parse("[Version]\nDriverVer=12/31/2002,1.0\n");
    const InfFile newer = InfFile::Parse("[Version]\nDriverVer=01/01/2003,0.9\n");
    EXPECT_EQ(newer.DriverDay() - older.DriverDay(), 1);
    EXPECT_EQ(InfFile::Parse("[Version]\n").DriverDay(), 0);
}

}  // namespace
