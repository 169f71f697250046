#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/include/windows.h"
#include "sim/machine/machine.h"
#include "sim/base/text.h"
#include "sim/machine/registry.h"

namespace {

const char* const kApp = "HKEY_LOCAL_MACHINE\\Software\\Tavarin";

// A machine made current for the Win32 calls of one test.
struct Fixture {
    explicit Fixture(sim::WindowsVersion version = sim::WindowsVersion::WinXP) : machine(version), scope(machine) {}
    sim::Registry& reg() { return machine.registry(); }
    // The transcript lines of one channel.
    std::vector<std::string> Lines(const std::string& kind) const {
        std::vector<std::string> out;
        for (const sim::TranscriptEntry& e : machine.transcript.OfKind(kind)) out.push_back(e.text);
        return out;
    }
    sim::Machine machine;
    sim::MachineScope scope;
};

HKEY OpenApp(REGSAM access, LONG* error = nullptr) {
    HKEY key = reinterpret_cast<HKEY>(1);
    const LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tavarin", 0, access, &key);
    if (error) *error = r;
    return key;
}

TEST(RegistryQuery, FollowsTheDocumentedSizeRules) {
    Fixture f;
    f.reg().SetString(kApp, "Path", "C:\\Tavarin");  // 11 bytes with the NUL
    f.reg().SetString(kApp, "", "default");
    HKEY key = OpenApp(KEY_READ);

    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 11u);
    EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);

    // Too small: ERROR_MORE_DATA with the size needed; the bytes offered are
    // garbage and nothing past them is touched.
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 11u);
    EXPECT_EQ(std::string(buffer, 5), std::string("\xCD\xCD\xCD\xCDx", 5));

    size = 11;
    EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "C:\\Tavarin");

    EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), nullptr),
              ERROR_INVALID_PARAMETER);
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Path", &reserved, nullptr, nullptr, &size), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);

    // NULL and "" both name the default value.
    for (const char* name : {static_cast<const char*>(nullptr), ""}) {
        size = sizeof buffer;
        EXPECT_EQ(RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(size, 8u);
    }
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST(RegistryQuery, StoresAndReturnsExactlyTheBytesGiven) {
    Fixture f;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tavarin", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    // "abcd" cut to three bytes: no NUL follows the data, so none is counted.
    ASSERT_EQ(RegSetValueExA(key, "NoNul", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcd"), 3), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "Inner", 0, REG_SZ, reinterpret_cast<const BYTE*>("a\0b\0"), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "Bad", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);

    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    DWORD size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key, "NoNul", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(buffer[3], '\0') << "a NUL is added in the room after a string stored without one";
    EXPECT_EQ(buffer[4], 'x');

    EXPECT_EQ(f.reg().GetValue(kApp, "Inner")->data, std::string("a\0b\0", 4));
    EXPECT_EQ(*f.reg().GetString(kApp, "NoNul"), "abc");
    EXPECT_EQ(*f.reg().GetString(kApp, "Inner"), std::string("a\0b", 3));
    EXPECT_EQ(f.reg().GetValue(kApp, "Empty")->data, "");
    EXPECT_EQ(RegDeleteValueA(key, "Empty"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "Empty"), ERROR_FILE_NOT_FOUND);
    // Every change is on the "registry" channel; every failure on "failure".
    EXPECT_EQ(f.Lines("registry"), (std::vector<std::string>{
                                        "create key HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavarin",
                                        "set HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavarin \"NoNul\" REG_SZ \"abc\"",
                                        "set HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavarin \"Inner\" REG_SZ \"a\\0b\"",
                                        "set HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavarin \"Empty\" REG_BINARY (empty)",
                                        "delete value HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavarin \"Empty\"",
                                    }));
    EXPECT_EQ(f.Lines("failure"), (std::vector<std::string>{
                                       "RegSetValueExA -> error 998",
                                       "RegDeleteValueA HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavarin \"Empty\" -> error 2",
                                   }));
    RegCloseKey(key);
}

TEST(RegistryQuery, TheNtFamilyCountsAForgottenNulAndTerminatesOnRead) {
    for (auto version : {sim::WindowsVersion::WinXP, sim::WindowsVersion::WinMe}) {
        Fixture f(version);
        const bool nt = f.machine.IsNt();
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tavarin", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        // The size leaves out the NUL that follows the text: NT stores it.
        ASSERT_EQ(RegSetValueExA(key, "Forgot", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>("a\0b"), 3),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "Bin", 0, REG_BINARY, reinterpret_cast<const BYTE*>("abc"), 3), ERROR_SUCCESS);
        EXPECT_EQ(f.reg().GetValue(kApp, "Forgot")->data, nt ? std::string("abc\0", 4) : std::string("abc"));
        EXPECT_EQ(f.reg().GetValue(kApp, "Multi")->data, nt ? std::string("a\0b\0", 4) : std::string("a\0b", 3));
        EXPECT_EQ(f.reg().GetValue(kApp, "Bin")->data, "abc") << "only strings";

        // A string stored without a NUL reads back with one when there is room.
        f.reg().SetValue(kApp, "Bare", REG_EXPAND_SZ, "xyz");
        BYTE buffer[8];
        std::memset(buffer, 'q', sizeof buffer);
        DWORD size = sizeof buffer;
        ASSERT_EQ(RegQueryValueExA(key, "Bare", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
        EXPECT_EQ(size, 3u);
        EXPECT_EQ(buffer[3], nt ? '\0' : 'q');
        std::memset(buffer, 'q', sizeof buffer);
        size = 3;
        ASSERT_EQ(RegQueryValueExA(key, "Bare", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
        EXPECT_EQ(buffer[3], 'q') << "no room, no NUL";
        char name[8];
        DWORD nameSize = sizeof name;
        std::memset(buffer, 'q', sizeof buffer);
        size = sizeof buffer;
        ASSERT_EQ(RegEnumValueA(key, 3, name, &nameSize, nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
        EXPECT_STREQ(name, "Bare");
        EXPECT_EQ(buffer[3], nt ? '\0' : 'q');
        RegCloseKey(key);
    }
}

TEST(RegistryKeys, OpenAndCreateHandlePathsAsWindowsDoes) {
    Fixture f;
    HKEY key = reinterpret_cast<HKEY>(1);
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tavarin\\Setup\\", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_TRUE(f.reg().KeyExists("HKLM\\software\\tavarin"));
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TAVARIN\\SETUP", 0, nullptr, 0, KEY_READ, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(f.reg().SubKeys(kApp), std::vector<std::string>{"Setup"});
    RegCloseKey(key);

    key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Nothing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\Software", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "\\Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(0x7777), "Software", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, nullptr, 0, KEY_READ, nullptr, nullptr, nullptr),
              ERROR_BADKEY);

    // RegOpenKeyA gives back the caller's handle for an empty sub-key;
    // RegOpenKeyExA does so for a predefined key and opens a new handle
    // to any other.
    HKEY app = OpenApp(KEY_READ);
    EXPECT_EQ(RegOpenKeyA(app, "", &key), ERROR_SUCCESS);
    EXPECT_EQ(key, app);
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, nullptr, &key), ERROR_SUCCESS);
    EXPECT_EQ(key, HKEY_CURRENT_USER);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(key, HKEY_CLASSES_ROOT);
    EXPECT_EQ(f.reg().OpenHandleCount(), 1u);
    ASSERT_EQ(RegOpenKeyExA(app, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_NE(key, app);
    EXPECT_EQ(f.reg().OpenHandleCount(), 2u);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(app), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(f.reg().OpenHandleCount(), 0u);
}

TEST(RegistryKeys, EveryRootExistsOnBothFamilies) {
    for (auto version : {sim::WindowsVersion::Win95, sim::WindowsVersion::Win2000}) {
        Fixture f(version);
        for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG,
                          HKEY_DYN_DATA}) {
            HKEY key = nullptr;
            ASSERT_EQ(RegCreateKeyExA(root, "Probe", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                      ERROR_SUCCESS);
            RegCloseKey(key);
        }
        // Every installation has its family's standard keys.
        EXPECT_TRUE(f.reg().KeyExists("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion"));
        EXPECT_EQ(f.reg().KeyExists("HKLM\\System\\CurrentControlSet\\Services\\Class"), !f.machine.IsNt());
        EXPECT_EQ(f.reg().KeyExists("HKEY_DYN_DATA\\Config Manager\\Enum"), !f.machine.IsNt());
        EXPECT_EQ(f.reg().KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager"), f.machine.IsNt());
        EXPECT_TRUE(f.reg().KeyExists("HKEY_DYN_DATA\\Probe"));
        EXPECT_TRUE(f.reg().KeyExists("HKCC\\Probe"));
        EXPECT_EQ(f.reg().Snapshot().roots.size(), 6u);
    }
}

TEST(RegistryKeys, SubKeysSortByUpperCaseAndValuesKeepCreationOrder) {
    Fixture f;
    for (const char* name : {"beta", "_under", "Alpha", "ALPHA2"}) f.reg().CreateKey(std::string(kApp) + "\\" + name);
    f.reg().SetDword(kApp, "zeta", 1);
    f.reg().SetDword(kApp, "Alpha", 2);
    f.reg().SetDword(kApp, "ZETA", 3);  // set again: keeps its place and first spelling

    HKEY key = OpenApp(KEY_READ);
    std::vector<std::string> keys;
    char name[32];
    DWORD size = sizeof name;
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; ++i) {
        EXPECT_EQ(size, std::strlen(name));
        keys.push_back(name);
        size = sizeof name;
    }
    // '_' comes after the letters once they are upper-cased.
    EXPECT_EQ(keys, (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "_under"}));
    size = 5;  // "Alpha" needs 6 with its NUL
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    size = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(key, 4, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

    EXPECT_EQ(f.reg().ValueNames(kApp), (std::vector<std::string>{"zeta", "Alpha"}));
    BYTE data[4];
    DWORD dataSize = sizeof data;
    DWORD type = 0;
    size = sizeof name;
    ASSERT_EQ(RegEnumValueA(key, 0, name, &size, nullptr, &type, data, &dataSize), ERROR_SUCCESS);
    EXPECT_STREQ(name, "zeta");
    EXPECT_EQ(data[0], 3);
    size = 4;  // "zeta" needs 5
    EXPECT_EQ(RegEnumValueA(key, 0, name, &size, nullptr, &type, nullptr, &dataSize), ERROR_MORE_DATA);
    size = sizeof name;
    dataSize = 2;
    EXPECT_EQ(RegEnumValueA(key, 1, name, &size, nullptr, &type, data, &dataSize), ERROR_MORE_DATA);
    EXPECT_EQ(dataSize, 4u);
    size = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 2, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST(RegistryDelete, RegDeleteKeyFollowsTheFamilyAndShDeleteKeyRemovesTrees) {
    for (auto version : {sim::WindowsVersion::WinXP, sim::WindowsVersion::Win98}) {
        Fixture f(version);
        const bool nt = f.machine.IsNt();
        f.reg().CreateKey(std::string(kApp) + "\\Setup\\Logs");
        f.reg().CreateKey("HKLM\\Software\\Other\\Deep");

        EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Tavarin"), nt ? ERROR_ACCESS_DENIED : ERROR_SUCCESS);
        EXPECT_EQ(f.reg().KeyExists(kApp), nt);
        EXPECT_EQ(SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Other"), ERROR_SUCCESS);
        EXPECT_FALSE(f.reg().KeyExists("HKLM\\Software\\Other"));
        EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Other"), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Other"), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);  // a root stays
        EXPECT_TRUE(f.reg().KeyExists("HKLM\\Software"));
        // One line per tree removed, in the spelling the keys were made with.
        std::vector<std::string> removed = {"delete key HKEY_LOCAL_MACHINE\\SOFTWARE\\Other"};
        if (!nt) removed.insert(removed.begin(), "delete key HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavarin");
        EXPECT_EQ(f.Lines("registry"), removed);
    }
}

TEST(RegistryDelete, HandlesOfDeletedKeysAnswerKeyDeleted) {
    Fixture f;
    f.reg().SetDword(std::string(kApp) + "\\Setup", "v", 1);
    const sim::KeyRef held = f.reg().Find(kApp).Child("SETUP");
    ASSERT_TRUE(held);
    HKEY setup = nullptr;
    HKEY app = OpenApp(KEY_ALL_ACCESS);
    ASSERT_EQ(RegOpenKeyExA(app, "Setup", 0, KEY_ALL_ACCESS, &setup), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(app, "Setup"), ERROR_SUCCESS);
    f.reg().SetDword(std::string(kApp) + "\\Setup", "v", 2);  // a new key of the same name

    DWORD size = 0;
    char name[16];
    DWORD nameSize = sizeof name;
    HKEY sub = reinterpret_cast<HKEY>(1);
    const BYTE one = 1;
    EXPECT_EQ(RegQueryValueExA(setup, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegSetValueExA(setup, "v", 0, REG_BINARY, &one, 1), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteValueA(setup, "v"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumValueA(setup, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumKeyExA(setup, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCreateKeyExA(setup, "X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(sub, nullptr);
    EXPECT_EQ(RegCloseKey(setup), ERROR_SUCCESS);
    EXPECT_EQ(*f.reg().GetDword(std::string(kApp) + "\\Setup", "v"), 2u);
    // A key held by reference is the deleted key, not the new one of its name.
    EXPECT_TRUE(held.Removed());
    EXPECT_EQ(held.Value("v"), nullptr);
    const sim::KeyRef fresh = f.reg().Find(std::string(kApp) + "\\setup");
    ASSERT_TRUE(fresh);
    ASSERT_NE(fresh.Value("V"), nullptr);
    EXPECT_EQ(fresh.Value("V")->data, std::string("\x02\0\0\0", 4));

    // Removal by the scenario side and by Restore count as well.
    const sim::RegistrySnapshot before = f.reg().Snapshot();
    ASSERT_EQ(RegOpenKeyExA(app, "Setup", 0, KEY_READ, &setup), ERROR_SUCCESS);
    f.reg().DeleteKeyTree(kApp);
    EXPECT_EQ(RegQueryValueExA(setup, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteKeyA(app, "Setup"), ERROR_KEY_DELETED);
    RegCloseKey(setup);
    RegCloseKey(app);
    f.reg().Restore(before);
    app = OpenApp(KEY_READ);
    f.reg().Restore(before);
    EXPECT_EQ(RegQueryValueExA(app, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    RegCloseKey(app);
    EXPECT_EQ(f.reg().Snapshot(), before);
    EXPECT_EQ(f.reg().OpenHandleCount(), 0u);
}

TEST(RegistryAccess, DenyFullAccessKeysCanBeReadButNotWritten) {
    Fixture f;
    f.reg().SetDword(kApp, "v", 1);
    f.reg().CreateKey(std::string(kApp) + "\\Child");
    f.reg().SetKeyAccess(kApp, sim::KeyAccess::DenyFullAccess);

    LONG r = 0;
    for (REGSAM access : {static_cast<REGSAM>(KEY_ALL_ACCESS), static_cast<REGSAM>(KEY_WRITE),
                          static_cast<REGSAM>(KEY_SET_VALUE), static_cast<REGSAM>(DELETE),
                          static_cast<REGSAM>(WRITE_DAC)}) {
        EXPECT_EQ(OpenApp(access, &r), nullptr);
        EXPECT_EQ(r, ERROR_ACCESS_DENIED) << access;
    }
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tavarin", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_ACCESS_DENIED);
    // A new key below it cannot be made, by path or through a read handle.
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tavarin\\New", 0, nullptr, 0, KEY_READ, nullptr, &key,
                              nullptr),
              ERROR_ACCESS_DENIED);
    HKEY read = OpenApp(KEY_READ, &r);
    ASSERT_EQ(r, ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyExA(read, "New", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr), ERROR_ACCESS_DENIED);
    // Its existing children are ordinary keys.
    ASSERT_EQ(RegCreateKeyExA(read, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_FALSE(f.reg().KeyExists(std::string(kApp) + "\\New"));
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Tavarin"), ERROR_ACCESS_DENIED);
    // The shell's tree delete removes the children, then stops at the key.
    EXPECT_EQ(SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Tavarin"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(f.reg().KeyExists(kApp));
    EXPECT_FALSE(f.reg().KeyExists(std::string(kApp) + "\\Child"));
    EXPECT_EQ(f.Lines("registry"), std::vector<std::string>{"delete key HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavarin\\Child"});

    // MAXIMUM_ALLOWED (and so RegOpenKeyA) grants reading only.
    HKEY max = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Tavarin", &max), ERROR_SUCCESS);
    DWORD size = 0;
    const BYTE one = 1;
    EXPECT_EQ(RegQueryValueExA(max, "v", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(max, "v", 0, REG_BINARY, &one, 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(max, "v"), ERROR_ACCESS_DENIED);
    RegCloseKey(max);
    RegCloseKey(read);
    EXPECT_EQ(f.reg().OpenHandleCount(), 0u);
}

TEST(RegistryAccess, EachOperationChecksTheRightsOfItsHandle) {
    Fixture f;
    f.reg().SetDword(kApp, "v", 1);
    f.reg().CreateKey(std::string(kApp) + "\\Child");
    char name[16];
    DWORD nameSize = sizeof name;
    DWORD size = 0;
    const BYTE one = 1;
    HKEY sub = nullptr;

    HKEY query = OpenApp(KEY_QUERY_VALUE);
    EXPECT_EQ(RegQueryValueExA(query, "v", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(query, "v", 0, REG_BINARY, &one, 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(query, "v"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegEnumKeyExA(query, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    // Creating a sub-key is checked against the key, not the handle.
    ASSERT_EQ(RegCreateKeyExA(query, "New", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr), ERROR_SUCCESS);
    RegCloseKey(sub);
    RegCloseKey(query);

    HKEY write = OpenApp(KEY_SET_VALUE | KEY_CREATE_SUB_KEY);
    EXPECT_EQ(RegQueryValueExA(write, "v", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetValueExA(write, "v", 0, REG_BINARY, &one, 1), ERROR_SUCCESS);
    EXPECT_EQ(RegEnumValueA(write, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegCreateKeyExA(write, "New", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr), ERROR_SUCCESS);
    RegCloseKey(sub);
    RegCloseKey(write);

    HKEY enumerate = OpenApp(KEY_ENUMERATE_SUB_KEYS);
    EXPECT_EQ(RegEnumKeyExA(enumerate, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    RegCloseKey(enumerate);
    EXPECT_EQ(f.reg().OpenHandleCount(), 0u);
}

TEST(RegistryAccess, NullAccessListsOpenKeysToEveryone) {
    Fixture f;
    SECURITY_DESCRIPTOR sd;
    std::memset(&sd, 0x5A, sizeof sd);
    EXPECT_FALSE(InitializeSecurityDescriptor(&sd, 2));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_REVISION));
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_EQ(sd.Revision, 1);
    EXPECT_EQ(sd.Control, 0);
    EXPECT_EQ(sd.Dacl, nullptr);
    EXPECT_EQ(sd.Owner, nullptr);
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
    EXPECT_EQ(sd.Control, SE_DACL_PRESENT);
    SECURITY_ATTRIBUTES sa = {sizeof sa, &sd, FALSE};

    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tavarin\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS, &sa,
                              &key, &disposition),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(f.reg().GetKeyAccess(std::string(kApp) + "\\Shared"), sim::KeyAccess::OpenToEveryone);
    EXPECT_EQ(f.reg().GetKeyAccess(kApp), sim::KeyAccess::Default);  // made on the way: inherited

    // An existing key keeps its security.
    f.reg().CreateKey("HKLM\\Software\\Old");
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Old", 0, nullptr, 0, KEY_ALL_ACCESS, &sa, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(f.reg().GetKeyAccess("HKLM\\Software\\Old"), sim::KeyAccess::Default);

    // RegSetKeySecurity needs WRITE_DAC on its handle.
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
    EXPECT_EQ(f.reg().GetKeyAccess("HKLM\\Software\\Old"), sim::KeyAccess::OpenToEveryone);
    EXPECT_EQ(f.Lines("registry"),
              (std::vector<std::string>{"create key HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavarin\\Shared with a null DACL",
                                        "security HKEY_LOCAL_MACHINE\\SOFTWARE\\Old null DACL"}));
    EXPECT_EQ(RegSetKeySecurity(key, 0, &sd), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr), ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
    f.reg().SetKeyAccess("HKLM\\Software\\Old", sim::KeyAccess::Default);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Old", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd), ERROR_ACCESS_DENIED);
    EXPECT_EQ(f.reg().GetKeyAccess("HKLM\\Software\\Old"), sim::KeyAccess::Default);
    RegCloseKey(key);
}

TEST(RegistryAccess, TheNineXFamilyHasNoKeySecurity) {
    Fixture f(sim::WindowsVersion::WinMe);
    f.reg().SetKeyAccess("HKLM\\Software", sim::KeyAccess::DenyFullAccess);
    SECURITY_DESCRIPTOR sd = {};
    SetLastError(0);
    EXPECT_FALSE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_FALSE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));

    // Descriptor contents are never looked at, and every handle may write.
    sd.Revision = 1;
    sd.Control = SE_DACL_PRESENT;
    SECURITY_ATTRIBUTES sa = {sizeof sa, &sd, FALSE};
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "\\Software\\Tavarin", 0, nullptr, 0, KEY_READ, &sa, &key, nullptr),
              ERROR_SUCCESS)
        << "the 9x family ignores one leading backslash";
    EXPECT_EQ(f.reg().GetKeyAccess(kApp), sim::KeyAccess::Default);
    const BYTE one = 1;
    EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_BINARY, &one, 1), ERROR_SUCCESS);
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd), ERROR_CALL_NOT_IMPLEMENTED);
    RegCloseKey(key);
    HKEY software = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS, &software), ERROR_SUCCESS);
    RegCloseKey(software);
}

TEST(RegistryFailures, OnDemandForTheKeyAskedForOnceOrEveryTimeChangingNothing) {
    Fixture f;
    f.reg().SetDword(std::string(kApp) + "\\Setup", "v", 1);
    const sim::RegistrySnapshot before = f.reg().Snapshot();
    // Objects are full paths, letter case ignored; a call on a sub-key is
    // asked about the key it acts on.
    const std::string setupPath = "HKEY_LOCAL_MACHINE\\Software\\Tavarin\\Setup";
    f.machine.faults.Add({"RegSetValueExA", sim::Lower(setupPath), ERROR_CANTWRITE, true});
    f.machine.faults.Add({"RegOpenKeyExA", setupPath, ERROR_ACCESS_DENIED, false});
    f.machine.faults.Add({"RegDeleteKeyA", "", ERROR_ACCESS_DENIED, false});
    f.machine.faults.Add({"SHDeleteKeyA", "HKEY_LOCAL_MACHINE\\Software\\Tavarin", ERROR_ACCESS_DENIED, true});
    f.machine.faults.Add({"RegCreateKeyExA", "HKEY_LOCAL_MACHINE\\Software\\Tavarin\\New", ERROR_ACCESS_DENIED, true});

    HKEY app = OpenApp(KEY_ALL_ACCESS);
    ASSERT_NE(app, nullptr);
    for (int attempt = 0; attempt < 2; ++attempt) {
        HKEY setup = reinterpret_cast<HKEY>(1);
        EXPECT_EQ(RegOpenKeyExA(app, "SETUP", 0, KEY_ALL_ACCESS, &setup), ERROR_ACCESS_DENIED) << attempt;
        EXPECT_EQ(setup, nullptr);
    }
    HKEY setup = nullptr;
    ASSERT_EQ(RegCreateKeyExA(app, "Setup", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &setup, nullptr), ERROR_SUCCESS);
    const BYTE two = 2;
    EXPECT_EQ(RegSetValueExA(setup, "v", 0, REG_BINARY, &two, 1), ERROR_CANTWRITE);
    EXPECT_EQ(RegSetValueExA(app, "v", 0, REG_BINARY, &two, 1), ERROR_SUCCESS) << "another key";
    EXPECT_EQ(RegDeleteValueA(app, "v"), ERROR_SUCCESS);
    HKEY created = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegCreateKeyExA(app, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(created, nullptr);
    EXPECT_EQ(RegDeleteKeyA(app, "Setup"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Tavarin"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(f.reg().Snapshot(), before) << "a call failed on demand changes nothing";
    EXPECT_EQ(f.Lines("registry"),
              (std::vector<std::string>{"set HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavarin \"v\" REG_BINARY 02",
                                        "delete value HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavarin \"v\""}));
    EXPECT_EQ(f.Lines("failure").at(0),
              "RegOpenKeyExA HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavarin\\SETUP -> error 5 (on demand)");
    SetLastError(0);

    // What was asked once is used up; what was asked every time stays.
    EXPECT_EQ(RegSetValueExA(setup, "v", 0, REG_BINARY, &two, 1), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExA(app, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr), ERROR_SUCCESS);
    RegCloseKey(created);
    EXPECT_EQ(RegDeleteKeyA(app, "New"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetLastError(), 0u) << "the registry functions never set the last error";
    RegCloseKey(setup);
    EXPECT_EQ(SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Tavarin"), ERROR_SUCCESS);
    EXPECT_FALSE(f.reg().KeyExists(kApp));
    RegCloseKey(app);
}

TEST(RegistryDirect, PathsValuesAndSnapshots) {
    Fixture f;
    sim::Registry& reg = f.reg();
    EXPECT_FALSE(reg.CreateKey("HKEY_NOWHERE\\X"));
    EXPECT_FALSE(reg.CreateKey("HKLM\\A\\\\B"));
    EXPECT_FALSE(reg.SetDword("Software\\X", "v", 1));
    EXPECT_TRUE(reg.SetMultiString("hkcu\\Software\\Tavarin", "List", {"one", "two"}));
    EXPECT_EQ(reg.GetValue("HKEY_CURRENT_USER\\Software\\Tavarin", "list")->data, std::string("one\0two\0\0", 9));
    EXPECT_EQ(*reg.GetMultiString("HKCU\\Software\\Tavarin\\", "List"), (std::vector<std::string>{"one", "two"}));
    reg.SetString(kApp, "Path", "%SystemRoot%", REG_EXPAND_SZ);
    EXPECT_EQ(reg.GetValue(kApp, "Path")->type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_FALSE(reg.GetDword(kApp, "Path").has_value());
    EXPECT_FALSE(reg.DeleteValue(kApp, "Missing"));
    EXPECT_FALSE(reg.DeleteKeyTree("HKLM"));
    EXPECT_FALSE(reg.DeleteKeyTree("HKLM\\Missing"));

    reg.SetKeyAccess(kApp, sim::KeyAccess::DenyFullAccess);
    const sim::RegistrySnapshot before = reg.Snapshot();
    reg.DeleteKeyTree("HKLM\\Software");
    reg.SetDword("HKU\\S-1-5-21", "x", 1);
    EXPECT_NE(reg.Snapshot(), before);
    reg.Restore(before);
    EXPECT_EQ(reg.Snapshot(), before);
    EXPECT_EQ(reg.GetKeyAccess(kApp), sim::KeyAccess::DenyFullAccess);
    EXPECT_FALSE(reg.KeyExists("HKU\\S-1-5-21"));
}

}  // namespace
