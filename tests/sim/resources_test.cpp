#include "sim/formats/resources.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/include/windows.h"

namespace {

const DWORD kChild = WS_CHILD | WS_VISIBLE;

// One control as a line, so that a mismatch shows which field differs.
std::string Row(const sim::DialogControl& c) {
    return c.statement + " id=" + std::to_string(c.id) + " class=" + c.className + " text=\"" + c.text +
           "\" image=" + (c.imageId ? std::to_string(*c.imageId) : "-") + " rect=" + std::to_string(c.rect.x) + "," +
           std::to_string(c.rect.y) + "," + std::to_string(c.rect.cx) + "," + std::to_string(c.rect.cy) +
           " style=" + std::to_string(c.style) + " ex=" + std::to_string(c.exStyle);
}

std::string Row(const char* statement, int id, const char* className, const char* text, int image, int x, int y, int cx,
                int cy, DWORD style, DWORD exStyle = 0) {
    sim::DialogControl c;
    c.statement = statement;
    c.id = id;
    c.className = className;
    c.text = text;
    if (image >= 0) c.imageId = image;
    c.rect = {x, y, cx, cy};
    c.style = style;
    c.exStyle = exStyle;
    return Row(c);
}

std::vector<std::string> Rows(const sim::DialogTemplate& d) {
    std::vector<std::string> out;
    for (const auto& c : d.controls) out.push_back(Row(c));
    return out;
}

// The install and upgrade dialogs share their layout.
std::vector<std::string> ProgressDialogRows() {
    return {
        Row("PUSHBUTTON", IDOK, "Button", "Close", -1, 107, 140, 50, 14,
            kChild | BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED),
        Row("PUSHBUTTON", IDCANCEL, "Button", "Cancel", -1, 162, 140, 50, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP),
        Row("LTEXT", 1002, "Static", "Timeout", -1, 11, 128, 295, 8, WS_CHILD | SS_LEFT | WS_GROUP),
        Row("CONTROL", 1011, "Static", "", 247, 7, 7, 306, 58,
            kChild | SS_BITMAP | SS_CENTERIMAGE | SS_SUNKEN | WS_BORDER),
        Row("LTEXT", 1000, "Static", "Instructions", -1, 38, 76, 268, 47, kChild | SS_LEFT | WS_GROUP),
        Row("ICON", -1, "Static", "", 130, 9, 74, 20, 20, kChild | SS_ICON),
        Row("GROUPBOX", -1, "Button", "", -1, 7, 68, 306, 93, kChild | BS_GROUPBOX),
    };
}

TEST(ResourceScript, ApplicationDialogsAreExactlyAsTheScriptSays) {
    const sim::ResourceScript& rc = sim::ApplicationResourceScript();
    ASSERT_EQ(rc.dialogs.size(), 3u);
    for (int id : {102, 132}) {
        const sim::DialogTemplate* d = rc.FindDialog(id);
        ASSERT_NE(d, nullptr) << id;
        EXPECT_TRUE(d->extended);
        EXPECT_EQ(d->rect, (sim::DialogUnitsRect{0, 0, 320, 167}));
        EXPECT_EQ(d->style, DWORD(DS_SETFONT | DS_CENTER | WS_POPUP | WS_VISIBLE | WS_CAPTION));
        EXPECT_EQ(d->exStyle, DWORD(WS_EX_APPWINDOW));
        EXPECT_EQ(d->caption, "Tavarin Device Setup");
        ASSERT_TRUE(d->font.has_value());
        EXPECT_EQ(d->font->pointSize, 8);
        EXPECT_EQ(d->font->face, "MS Sans Serif");
        EXPECT_EQ(Rows(*d), ProgressDialogRows()) << id;
    }

    const sim::DialogTemplate* u = rc.FindDialog(131);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->rect, (sim::DialogUnitsRect{0, 0, 320, 177}));
    EXPECT_EQ(u->style, DWORD(DS_SETFONT | DS_3DLOOK | DS_CENTER | WS_POPUP | WS_CAPTION));
    EXPECT_EQ(u->exStyle, 0u);
    EXPECT_EQ(u->caption, "Tavarin Device Uninstall");
    ASSERT_TRUE(u->font.has_value());
    EXPECT_EQ(u->font->face, "MS Sans Serif");
    const std::vector<std::string> uninstall = {
        Row("PUSHBUTTON", 1006, "Button", "Remove", -1, 107, 147, 50, 14, kChild | WS_TABSTOP | WS_DISABLED),
        Row("DEFPUSHBUTTON", IDOK, "Button", "Close", -1, 161, 147, 50, 14, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP),
        Row("EDITTEXT", 1010, "Edit", "", -1, 38, 95, 246, 22,
            WS_CHILD | ES_LEFT | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY),
        Row("GROUPBOX", -1, "Button", "", -1, 7, 68, 306, 101, kChild | BS_GROUPBOX),
        Row("CONTROL", 1011, "Static", "", 247, 7, 7, 306, 58,
            kChild | SS_BITMAP | SS_CENTERIMAGE | SS_SUNKEN | WS_BORDER),
        Row("LTEXT", 1000, "Static", "The following device will be removed, click \"Remove\" to remove it.", -1, 38, 76,
            268, 15, kChild | WS_GROUP),
        Row("ICON", -1, "Static", "", 130, 9, 74, 20, 20, kChild | SS_ICON),
        Row("LTEXT", 1007, "Static", "", -1, 38, 121, 246, 20, kChild | WS_GROUP),
    };
    EXPECT_EQ(Rows(*u), uninstall);

    EXPECT_EQ(rc.language, 9);
    EXPECT_EQ(rc.sublanguage, 1);
    EXPECT_EQ(rc.icons, (std::map<int, std::string>{{128, "tavsetup.ico"}, {130, "device.ico"}}));
    EXPECT_EQ(rc.bitmaps, (std::map<int, std::string>{{247, "banner.bmp"}}));
}

TEST(ResourceScript, ApplicationStringTableIsExactlyAsTheScriptSays) {
    const std::map<UINT, std::string> expected = {
        {1,
         "Locating a valid device, if you have not inserted the device please do so now. Make sure you have "
         "administrative rights to install devices."},
        {2, "The device driver for your \"%s\" has been properly installed."},
        {7, "System Restart"},
        {8, "Windows needs to be restarted before\nthe new settings will take effect. \n\nDo you want to restart now?"},
        {14, "Setup is incomplete, system needs to be restarted!"},
        {16, "There was an error in removing the device. Please removing using the window Device Manager."},
        {17, "The device was succesfully removed."},
        {18, "Please wait, attempting to remove the selected device."},
        {21, "No device was found to remove."},
        {22, " ( REMOVED )"},
        {23, "This application will only run under:\nWindows98SE,\nWindowsME, \nWindows2000, \n&WindowsXP."},
        {24, "The .inf file was not found\nin the installation directory."},
        {25, "The device was not properly \ninstalled do you still wish to exit?"},
        {29,
         "Windows needs to be restarted after the Boingo Installation in order\nfor these new settings to take "
         "effect.\n\nThe Boingo Installation will now be launched. Be sure to reboot\nthe computer afterwards."},
        {30, "Locating a valid device to upgrade, if you have not inserted the device please do so now."},
        {31, "The device was not properly upgraded.\nDo you still wish to exit?"},
        {34, "The device driver for your \"%s\" has been properly upgraded."},
        {35, "The device driver for your \"%s\" could not be properly upgraded."},
        {36,
         "The following device has been detected: \"%s\"\n\nThe driver for the device is not supported on this "
         "Driver Installation. If you have a device that is supported, please insert it now, otherwise click "
         "Cancel."},
    };
    const sim::ResourceScript& rc = sim::ApplicationResourceScript();
    EXPECT_EQ(rc.strings, expected);
    // String 15 is missing, but its block of sixteen exists; 0xE000's does not.
    EXPECT_EQ(rc.FindString(15), nullptr);
    EXPECT_TRUE(rc.HasStringBlock(15));
    EXPECT_FALSE(rc.HasStringBlock(0xE000));
    EXPECT_EQ(rc.defines.at("IDC_STATIC"), -1);
    EXPECT_EQ(rc.NameOf(1007, "IDC_"), "IDC_STATUS");
}

TEST(ResourceScript, ReadsCommentsConditionalsStringsAndStyleDefaults) {
    const char* header =
        "#pragma once\n"
        "#define IDD_ONE 7 /* a dialog */\n"
        "#ifdef IDD_ONE\n#define IDC_A (0x10 + 1)\n#else\n#define IDC_A 99\n#endif\n"
        "#ifndef IDD_ONE\n#if 0\n#error not read\n#endif\n#endif\n";
    const char* script =
        "#include <windows.h>\n"
        "#include \"res\\\\head.h\"\n"
        "/* several\n lines */\n"
        "IDD_ONE DIALOG 1, 2, 30, 40\n"
        "CAPTION \"Say \"\"hi\"\"\\tnow\"  // the caption\n"
        "BEGIN\n"
        "    CTEXT \"a\\\\b\", IDC_A, 1, 2, 3, 4, NOT WS_GROUP | WS_DISABLED\n"
        "    RTEXT \"\", 2, 1, 2, 3, 4\n"
        "    ICON 5, 3, 1, 2\n"
        "    CONTROL \"x\", 4, \"button\", BS_AUTOCHECKBOX | NOT WS_VISIBLE, 1, 2, 3, 4, WS_EX_CLIENTEDGE\n"
        "END\n"
        "STRINGTABLE BEGIN 3, \"three\\n\" END\n";
    const sim::ResourceScript rc = sim::ParseResourceScript(script, header, "test.rc", "head.h");
    const sim::DialogTemplate* d = rc.FindDialog(7);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->extended);
    EXPECT_EQ(d->caption, "Say \"hi\"\tnow");
    // No STYLE: a pop-up with border and system menu; CAPTION adds the title bar.
    EXPECT_EQ(d->style, DWORD(WS_POPUP | WS_BORDER | WS_SYSMENU | WS_CAPTION));
    ASSERT_EQ(d->controls.size(), 4u);
    EXPECT_EQ(Row(d->controls[0]),
              Row("CTEXT", 0x11, "Static", "a\\b", -1, 1, 2, 3, 4, kChild | SS_CENTER | WS_DISABLED));
    EXPECT_EQ(Row(d->controls[1]), Row("RTEXT", 2, "Static", "", -1, 1, 2, 3, 4, kChild | SS_RIGHT | WS_GROUP));
    EXPECT_EQ(Row(d->controls[2]), Row("ICON", 3, "Static", "", 5, 1, 2, 0, 0, kChild | SS_ICON));
    EXPECT_EQ(Row(d->controls[3]),
              Row("CONTROL", 4, "Button", "x", -1, 1, 2, 3, 4, WS_CHILD | BS_AUTOCHECKBOX, WS_EX_CLIENTEDGE));
    EXPECT_EQ(*rc.FindString(3), "three\n");
}

TEST(ResourceScript, ErrorsNameTheFileAndLine) {
    auto errorOf = [](const char* script, const char* header = "") -> std::string {
        try {
            sim::ParseResourceScript(script, header, "t.rc", "h.h");
        } catch (const sim::ResourceScriptError& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_EQ(errorOf("\n\n1 DIALOG 0, 0, 1, 1\nBEGIN\n  LTEXT \"a\", IDC_NOPE, 1, 1, 1, 1\nEND\n"),
              "t.rc:5: undefined name IDC_NOPE");
    EXPECT_EQ(errorOf("STRINGTABLE\nBEGIN\n 1 \"open\nEND\n"), "t.rc:3: string without its end");
    EXPECT_EQ(errorOf("1 DIALOG 0, 0, 1, 1\nBEGIN\n  LTEXT \"a\", 1, 1, 1, 1, 1\n"), "t.rc:3: dialog without END");
    EXPECT_EQ(errorOf("1 DIALOG 0, 0, 1, 1\nBEGIN\n  LISTBOX 1, 1, 1, 1, 1\nEND\n"),
              "t.rc:3: unsupported control statement LISTBOX");
    EXPECT_EQ(errorOf("#include \"other.h\"\n"), "t.rc:1: cannot open include file \"other.h\"");
    EXPECT_EQ(errorOf("#include \"h.h\"\n", "\n#define X 1\n#if X\n"), "h.h:3: unsupported preprocessor line #if");
    EXPECT_EQ(errorOf("/* open\n\n"), "t.rc:1: comment without its end");
    EXPECT_EQ(errorOf("STRINGTABLE BEGIN 1 \"a\" 1 \"b\" END"), "t.rc:1: string 1 defined twice");
    EXPECT_EQ(errorOf("1 DIALOG 0, 0 1, 1\nBEGIN\nEND\n"), "t.rc:1: expected ',' after the dialog's y, found 1");
}

}  // namespace
