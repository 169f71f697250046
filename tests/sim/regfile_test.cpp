#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/formats/regfile.h"
#include "sim/machine/registry.h"

namespace {

const char* const kApp = "HKEY_LOCAL_MACHINE\\Software\\Tavarin";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

// One value of every kind the format distinguishes, including strings that
// cannot be written quoted.
void FillEveryKind(sim::Registry& reg) {
    reg.SetString(kApp, "", "default");
    reg.SetString(kApp, "Quoted \"name\" \\ here", "C:\\Program Files\\\"Tavarin\"");
    reg.SetDword(kApp, "Count", 42);
    reg.SetValue(kApp, "Blob", REG_BINARY, std::string("\x01\x02\xff", 3));
    reg.SetString(kApp, "Expand", "%SystemRoot%\\x", REG_EXPAND_SZ);
    reg.SetMultiString(kApp, "Multi", {"a", "b"});
    reg.SetValue(kApp, "NoNul", REG_SZ, "abc");
    reg.SetValue(kApp, "InnerNul", REG_SZ, std::string("a\0b\0", 4));
    reg.SetValue(kApp, "TwoNuls", REG_SZ, std::string("a\0\0", 3));
    reg.SetValue(kApp, "Empty", REG_SZ, "");
    reg.SetString(kApp, "Lines", "one\r\ntwo");
    reg.SetValue(kApp, "ShortDword", REG_DWORD, std::string("\x01\x02\x03", 3));
    reg.SetValue(kApp, "None", REG_NONE, "");
    reg.SetValue(kApp, "Big", 0x100000, "\x7f");
    reg.SetValue(kApp, "Long", REG_BINARY, std::string(100, '\x5a'));
    reg.SetDword(kApp, "line\nbreak", 1);
    reg.CreateKey(std::string(kApp) + "\\Empty Key\\Deeper");
    reg.SetString("HKCU", "RootValue", "r");
    reg.SetString("HKEY_DYN_DATA\\Config Manager\\Enum\\C29A3B40", "HardWareKey", "ROOT\\TAVARIN\\0000");
}

TEST(RegFileExport, WritesRegeditFourText) {
    sim::Machine machine;
    sim::Registry& reg = machine.registry();
    reg.Restore({});  // without the keys every installation has
    EXPECT_EQ(sim::ExportRegText(reg), sim::kRegFileHeader);
    reg.SetString(kApp, "", "default");
    reg.SetString(kApp, "Path", "C:\\Tav \"x\"");
    reg.SetDword(kApp, "Count", 42);
    reg.SetValue(kApp, "Blob", REG_BINARY, "\x01\x02");
    reg.SetString(kApp, "Expand", "%a%", REG_EXPAND_SZ);
    reg.SetValue(kApp, "NoNul", REG_SZ, "ab");
    reg.SetValue(kApp, "Odd", REG_DWORD, "\x01");
    reg.CreateKey(std::string(kApp) + "\\Sub");
    EXPECT_EQ(sim::ExportRegText(reg),
              "REGEDIT4\r\n\r\n"
              "[HKEY_LOCAL_MACHINE]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Tavarin]\r\n"
              "@=\"default\"\r\n"
              "\"Path\"=\"C:\\\\Tav \\\"x\\\"\"\r\n"
              "\"Count\"=dword:0000002a\r\n"
              "\"Blob\"=hex:01,02\r\n"
              "\"Expand\"=hex(2):25,61,25,00\r\n"
              "\"NoNul\"=hex(1):61,62\r\n"
              "\"Odd\"=hex(4):01\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Tavarin\\Sub]\r\n\r\n");
    EXPECT_EQ(sim::ExportRegText(reg, "hklm\\software\\tavarin\\sub"),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Tavarin\\Sub]\r\n\r\n");
    EXPECT_EQ(sim::ExportRegText(reg, "HKLM\\Missing"), sim::kRegFileHeader);
}

TEST(RegFileExport, WrapsLongHexLinesAsRegeditDoes) {
    sim::Machine machine;
    machine.registry().SetValue(kApp, "Blob", REG_BINARY, std::string(100, '\x5a'));
    const std::vector<std::string> lines = Lines(sim::ExportRegText(machine.registry(), kApp));
    ASSERT_EQ(lines.size(), 3u + 5u + 1u);  // header, blank, key; five data lines; blank
    // `"Blob"=hex:` and 22 bytes reach 77 characters; then 25 bytes a line.
    EXPECT_EQ(lines[3].size(), 78u);
    EXPECT_EQ(lines[3].substr(0, 14), "\"Blob\"=hex:5a,");
    EXPECT_EQ(lines[3].substr(lines[3].size() - 2), ",\\");
    for (size_t i = 4; i < 7; ++i) {
        EXPECT_EQ(lines[i], "  " + [] {
            std::string s;
            for (int b = 0; b < 25; ++b) s += "5a,";
            return s;
        }() + "\\");
    }
    EXPECT_EQ(lines[7], "  5a,5a,5a");  // 22 + 3 * 25 + 3 = 100
    for (const std::string& line : lines) EXPECT_LE(line.size(), 80u);
}

TEST(RegFileRoundTrip, ImportOfAnExportGivesBackEveryByte) {
    sim::Machine source;
    FillEveryKind(source.registry());
    const std::string text = sim::ExportRegText(source.registry());
    EXPECT_NE(text.find("\"TwoNuls\"=hex(1):61,00,00"), std::string::npos);
    EXPECT_NE(text.find("\"Empty\"=hex(1):"), std::string::npos);
    EXPECT_NE(text.find("\"Lines\"=hex(1):"), std::string::npos);
    EXPECT_NE(text.find("\"Big\"=hex(100000):7f"), std::string::npos);
    EXPECT_NE(text.find("\"line\\nbreak\"=dword:00000001"), std::string::npos);

    sim::Machine target;
    const sim::RegImportResult result = sim::ImportRegText(target.registry(), text);
    ASSERT_TRUE(result) << result.error;
    EXPECT_EQ(target.registry().Snapshot(), source.registry().Snapshot());
    EXPECT_EQ(sim::ExportRegText(target.registry()), text);
}

TEST(RegFileImport, AcceptsEveryFormRegeditWrites) {
    sim::Machine machine;
    sim::Registry& reg = machine.registry();
    reg.SetDword(kApp, "Gone", 1);
    reg.SetString(kApp, "", "old default");
    reg.CreateKey("HKLM\\Software\\Old\\Deep");
    const std::string text =
        "\xEF\xBB\xBFREGEDIT4\n"  // Notepad's byte-order mark
        "\n"
        "; a comment ending in C:\\\r\n"  // does not continue
        "[-HKEY_LOCAL_MACHINE\\Software\\Old]\n"
        "[HKLM\\Software\\Tavarin]\r\n"
        "\"Gone\"=-\n"
        "@=-\n"
        "\"Spaced\" = dword:FF\n"
        "\"Wrapped\"=hex(7):61,00,\\\n"
        "   62,00,\\\r\n"
        "  00\n"
        "\"Bin\"=HEX:0A, 0b\n"
        "\"Path\"=\"C:\\\\Tavarin\"\n";
    const sim::RegImportResult result = sim::ImportRegText(reg, text);
    ASSERT_TRUE(result) << result.error;
    EXPECT_FALSE(reg.KeyExists("HKLM\\Software\\Old"));
    EXPECT_EQ(reg.ValueNames(kApp), (std::vector<std::string>{"Spaced", "Wrapped", "Bin", "Path"}));
    EXPECT_EQ(*reg.GetDword(kApp, "Spaced"), 0xFFu);
    EXPECT_EQ(*reg.GetMultiString(kApp, "Wrapped"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(reg.GetValue(kApp, "Bin")->data, "\x0a\x0b");
    EXPECT_EQ(*reg.GetString(kApp, "Path"), "C:\\Tavarin");
}

TEST(RegFileImport, ErrorsNameTheLineAndChangeNothing) {
    struct Case {
        std::string text;
        std::string error;
    };
    const std::string start = "REGEDIT4\n\n[HKLM\\Software\\Tavarin]\n\"New\"=dword:1\n";
    const std::vector<Case> cases = {
        {"REGEDIT5\n", "line 1:"},
        {"REGEDIT4\n\"v\"=dword:1\n", "line 2:"},
        {start + "[HKEY_NOWHERE\\X]\n", "line 5:"},
        {start + "[HKLM\\A\\\\B]\n", "line 5:"},
        {start + "[HKLM\\Software\n", "line 5:"},
        {start + "[-HKEY_LOCAL_MACHINE]\n", "line 5:"},
        {start + "\"v\"=\"C:\\Windows\"\n", "line 5:"},
        {start + "\"v\"=\"open\n", "line 5:"},
        {start + "\"v\"=\"text\" trailing\n", "line 5:"},
        {start + "\"v\"=dword:123456789\n", "line 5:"},
        {start + "\"v\"=dword:xyz\n", "line 5:"},
        {start + "\"v\"=hex:01,\\\n  02,zz\n", "line 6:"},
        {start + "\"v\"=hex:01,\\\n", "line 5:"},
        {start + "\"v\"=dword:1\\\n\"w\"=dword:2\n", "line 5: only hex data goes on"},
        {start + "\"v\"=hex(:01\n", "line 5:"},
        {start + "\"v\"=string\n", "line 5:"},
        {start + "\"v\" dword:1\n", "line 5:"},
        {start + "[-HKLM\\Software\\Tavarin]\n\"v\"=dword:1\n", "line 6:"},
        {start + "garbage\n", "line 5:"},
    };
    for (const Case& c : cases) {
        sim::Machine machine;
        machine.registry().SetDword(kApp, "Kept", 7);
        const sim::RegistrySnapshot before = machine.registry().Snapshot();
        const sim::RegImportResult result = sim::ImportRegText(machine.registry(), c.text);
        EXPECT_FALSE(result) << c.text;
        EXPECT_EQ(result.error.substr(0, c.error.size()), c.error) << c.text << " gave " << result.error;
        EXPECT_EQ(machine.registry().Snapshot(), before) << c.text;
    }
}

TEST(RegFileDiff, ImportedIntoBeforeGivesAfter) {
    sim::Machine machine;
    sim::Registry& reg = machine.registry();
    EXPECT_EQ(sim::DiffRegText(reg.Snapshot(), reg.Snapshot()), sim::kRegFileHeader);

    FillEveryKind(reg);
    reg.SetDword(kApp, "z1", 1);
    reg.SetDword(kApp, "z2", 2);
    reg.CreateKey("HKLM\\Software\\Doomed\\Child");
    reg.CreateKey("HKLM\\Software\\Renamed");
    reg.SetKeyAccess(kApp, sim::KeyAccess::DenyFullAccess);
    const sim::RegistrySnapshot before = reg.Snapshot();
    EXPECT_EQ(sim::DiffRegText(before, before), sim::kRegFileHeader);

    reg.SetDword(kApp, "Count", 43);                       // changed in place
    reg.DeleteValue(kApp, "Blob");                         // removed
    reg.DeleteValue(kApp, "z1");                           // removed and set again: moves to the end
    reg.SetDword(kApp, "z1", 1);
    reg.DeleteValue(kApp, "NoNul");                        // renamed in case only
    reg.SetValue(kApp, "NONUL", REG_SZ, "abc");
    reg.SetString(kApp, "Fresh", "new");
    reg.DeleteKeyTree("HKLM\\Software\\Doomed");
    reg.DeleteKeyTree("HKLM\\Software\\Renamed");
    reg.CreateKey("HKLM\\Software\\RENAMED\\Inside");
    reg.SetString("HKCU", "RootValue", "changed");
    reg.SetDword("HKLM\\System\\CurrentControlSet\\Services\\Tavarin", "Start", 3);
    reg.SetKeyAccess(kApp, sim::KeyAccess::Default);
    const sim::RegistrySnapshot after = reg.Snapshot();

    const std::string diff = sim::DiffRegText(before, after);
    EXPECT_NE(diff.find("[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Doomed]"), std::string::npos);
    EXPECT_NE(diff.find("\"Blob\"=-"), std::string::npos);
    EXPECT_EQ(diff.find("\"Multi\""), std::string::npos) << "unchanged values stay out of the diff";

    reg.Restore(before);
    const sim::RegImportResult result = sim::ImportRegText(reg, diff);
    ASSERT_TRUE(result) << result.error << "\n" << diff;
    reg.SetKeyAccess(kApp, sim::KeyAccess::Default);  // access is not part of the format
    EXPECT_EQ(reg.Snapshot(), after) << diff;
    EXPECT_EQ(reg.ValueNames(kApp), (std::vector<std::string>{"", "Quoted \"name\" \\ here", "Count", "Expand",
                                                             "Multi", "InnerNul", "TwoNuls", "Empty", "Lines",
                                                             "ShortDword", "None", "Big", "Long", "line\nbreak",
                                                             "z2", "z1", "NONUL", "Fresh"}));
}

}  // namespace
