// The Win32 behaviour the tool relies on, checked the same way on the
// emulator and on Wine: the registry (sizes, NUL handling, dispositions,
// deletion, enumeration order, security), profile strings and WININIT.INI,
// files and folders (attributes, deletion, copying, searching, renames at
// the next start), the Windows folders, the service manager, the version
// query and string resources.
//
// Every expectation is what Windows does. Where Wine is known to answer
// differently, WindowsOrWine() names Wine's answer and the reason; only the
// Wine run takes it, the emulator must give Windows' answer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "platform/winapi.h"
#include "tests/conformance/conformance_env.h"
#include "ui/res/resource.h"

namespace {

using conformance::Bytes;
using conformance::OnWine;
using conformance::Windows;

// Notes in the Wine run's log that Wine takes its own answer here.
void WineDiffers(const char* why) { std::printf("    [wine differs] %s\n", why); }

// Windows' answer, or Wine's where Wine differs from Windows for the reason
// given.
template <typename T>
T WindowsOrWine(const T& windows, const T& wine, const char* why) {
    if (!OnWine()) return windows;
    WineDiffers(why);
    return wine;
}

// Error codes compared as one type: LONG, DWORD and the ERROR_* constants
// differ in type between the Windows headers and the emulator's.
unsigned long LastError() { return static_cast<unsigned long>(GetLastError()); }
#define EXPECT_CODE(call, code) EXPECT_EQ(static_cast<long>(call), static_cast<long>(code))
#define ASSERT_CODE(call, code) ASSERT_EQ(static_cast<long>(call), static_cast<long>(code))
#define EXPECT_LAST_ERROR(code) EXPECT_EQ(LastError(), static_cast<unsigned long>(code))

const BYTE* Data(const char* text) { return reinterpret_cast<const BYTE*>(text); }

// What RegQueryValueExA gives for a buffer of `offered` bytes filled with 'x'.
struct Queried {
    long error = 0;
    DWORD type = 0;
    DWORD size = 0;
    std::string buffer;  // the whole buffer after the call
};

Queried Query(HKEY key, const char* name, DWORD offered) {
    Queried q;
    std::vector<BYTE> buffer(offered + 4, 'x');
    q.size = offered;
    q.error = RegQueryValueExA(key, name, nullptr, &q.type, buffer.data(), &q.size);
    q.buffer = Bytes(buffer.data(), buffer.size());
    return q;
}

// The size and type RegQueryValueExA reports without a buffer.
Queried QuerySize(HKEY key, const char* name) {
    Queried q;
    q.size = 0xDEAD;
    q.error = RegQueryValueExA(key, name, nullptr, &q.type, nullptr, &q.size);
    return q;
}

std::vector<std::string> SubKeys(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(name);
    }
    return names;
}

std::vector<std::string> ValueNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD size = sizeof name;
        if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(name);
    }
    return names;
}

HKEY CreateKey(HKEY parent, const char* name, REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    const LONG r = RegCreateKeyExA(parent, name, 0, nullptr, 0, access, nullptr, &key, disposition);
    EXPECT_CODE(r, ERROR_SUCCESS) << name;
    return key;
}

bool KeyExists(HKEY parent, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ",") + n;
    return out;
}

// ---- registry values --------------------------------------------------------------

using RegistryValues = ConformanceTest;

TEST_F(RegistryValues, StringSizesCountTheNulAndTooSmallAsksForMore) {
    ASSERT_CODE(RegSetValueExA(ScratchKey(), "Path", 0, REG_SZ, Data("C:\\Tav"), 7), ERROR_SUCCESS);

    Queried q = QuerySize(ScratchKey(), "path");
    EXPECT_CODE(q.error, ERROR_SUCCESS);
    EXPECT_EQ(q.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(q.size, 7u);

    q = Query(ScratchKey(), "Path", 7);
    EXPECT_CODE(q.error, ERROR_SUCCESS);
    EXPECT_EQ(q.size, 7u);
    EXPECT_EQ(q.buffer.substr(0, 8), std::string("C:\\Tav\0x", 8));

    q = Query(ScratchKey(), "Path", 6);
    EXPECT_CODE(q.error, ERROR_MORE_DATA);
    EXPECT_EQ(q.size, 7u);
    EXPECT_EQ(q.buffer.substr(6), "xxxx") << "nothing past the offered bytes is written";

    q = Query(ScratchKey(), "Path", 100);
    EXPECT_CODE(q.error, ERROR_SUCCESS);
    EXPECT_EQ(q.size, 7u);

    // No data pointer and no size: only whether the value is there.
    EXPECT_CODE(RegQueryValueExA(ScratchKey(), "Path", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    BYTE buffer[8];
    EXPECT_CODE(RegQueryValueExA(ScratchKey(), "Path", nullptr, nullptr, buffer, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryValues, AStringSetWithoutItsNulGetsTheNulThatFollowsIt) {
    // NT counts the NUL a caller forgot when the byte after the data is one.
    ASSERT_CODE(RegSetValueExA(ScratchKey(), "Forgot", 0, REG_SZ, Data("abc"), 3), ERROR_SUCCESS);
    Queried q = QuerySize(ScratchKey(), "Forgot");
    EXPECT_EQ(q.size, 4u);
    q = Query(ScratchKey(), "Forgot", 4);
    EXPECT_EQ(q.buffer.substr(0, 5), std::string("abc\0x", 5));
}

TEST_F(RegistryValues, AnUnterminatedStringIsTerminatedOnlyWhenTheBufferHasRoom) {
    // "abcd" cut to three bytes: the byte after the data is no NUL, so the
    // value really is stored without one.
    ASSERT_CODE(RegSetValueExA(ScratchKey(), "Bare", 0, REG_SZ, Data("abcd"), 3), ERROR_SUCCESS);
    Queried q = QuerySize(ScratchKey(), "Bare");
    EXPECT_EQ(q.size, 3u);

    q = Query(ScratchKey(), "Bare", 8);
    EXPECT_CODE(q.error, ERROR_SUCCESS);
    EXPECT_EQ(q.size, 3u) << "the size stays the stored one";
    EXPECT_EQ(q.buffer.substr(0, 5), std::string("abc\0x", 5)) << "a NUL is added after the data";

    q = Query(ScratchKey(), "Bare", 3);
    EXPECT_CODE(q.error, ERROR_SUCCESS);
    EXPECT_EQ(q.buffer.substr(0, 4), "abcx") << "no room: nothing is added";

    // RegEnumValueA hands out the data the same way.
    char name[8];
    DWORD nameSize = sizeof name;
    DWORD type = 0;
    BYTE data[8];
    std::memset(data, 'x', sizeof data);
    DWORD dataSize = sizeof data;
    EXPECT_CODE(RegEnumValueA(ScratchKey(), 0, name, &nameSize, nullptr, &type, data, &dataSize), ERROR_SUCCESS);
    EXPECT_EQ(dataSize, 3u);
    EXPECT_EQ(Bytes(data, 5), std::string("abc\0x", 5));

    // An empty string set with size 0 is stored empty and read back empty.
    ASSERT_CODE(RegSetValueExA(ScratchKey(), "Empty", 0, REG_SZ, Data(""), 0), ERROR_SUCCESS);
    q = Query(ScratchKey(), "Empty", 4);
    EXPECT_CODE(q.error, ERROR_SUCCESS);
    EXPECT_EQ(q.size, 0u);
    EXPECT_EQ(q.buffer[0], 'x');
}

TEST_F(RegistryValues, MultiStringsDwordsAndBinaryKeepTheirBytesAndTypes) {
    const char multi[] = "one\0two\0";  // with the final NUL of the literal: 9 bytes
    ASSERT_CODE(RegSetValueExA(ScratchKey(), "Multi", 0, REG_MULTI_SZ, Data(multi), sizeof multi), ERROR_SUCCESS);
    Queried q = Query(ScratchKey(), "Multi", 32);
    EXPECT_CODE(q.error, ERROR_SUCCESS);
    EXPECT_EQ(q.type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(q.size, 9u);
    EXPECT_EQ(q.buffer.substr(0, 9), std::string("one\0two\0\0", 9));

    const DWORD number = 0x12345678;
    ASSERT_CODE(RegSetValueExA(ScratchKey(), "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
                ERROR_SUCCESS);
    q = Query(ScratchKey(), "Number", 4);
    EXPECT_CODE(q.error, ERROR_SUCCESS);
    EXPECT_EQ(q.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(q.buffer.substr(0, 4), std::string("\x78\x56\x34\x12", 4));
    q = Query(ScratchKey(), "Number", 2);
    EXPECT_CODE(q.error, ERROR_MORE_DATA);
    EXPECT_EQ(q.size, 4u);

    ASSERT_CODE(RegSetValueExA(ScratchKey(), "Raw", 0, REG_BINARY, Data("\x01\x00\x02"), 3), ERROR_SUCCESS);
    q = Query(ScratchKey(), "Raw", 8);
    EXPECT_EQ(q.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(q.size, 3u);
    EXPECT_EQ(q.buffer.substr(0, 4), std::string("\x01\x00\x02x", 4)) << "binary data gets no NUL";

    ASSERT_CODE(RegSetValueExA(ScratchKey(), "Expand", 0, REG_EXPAND_SZ, Data("%SystemRoot%\\x"), 15),
                ERROR_SUCCESS);
    q = Query(ScratchKey(), "Expand", 32);
    EXPECT_EQ(q.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(q.buffer.substr(0, 15), std::string("%SystemRoot%\\x\0", 15)) << "RegQueryValueExA expands nothing";

    // A value set again takes the new type and data.
    ASSERT_CODE(RegSetValueExA(ScratchKey(), "number", 0, REG_SZ, Data("n"), 2), ERROR_SUCCESS);
    q = QuerySize(ScratchKey(), "Number");
    EXPECT_EQ(q.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(q.size, 2u);
}

TEST_F(RegistryValues, MissingValuesAreNotFound) {
    Queried q = Query(ScratchKey(), "Nothing", 8);
    EXPECT_CODE(q.error, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(q.size, 8u) << "the size offered is left alone";
    // A new key has no default value.
    EXPECT_CODE(QuerySize(ScratchKey(), nullptr).error, ERROR_FILE_NOT_FOUND);
    EXPECT_CODE(QuerySize(ScratchKey(), "").error, ERROR_FILE_NOT_FOUND);
    EXPECT_CODE(RegDeleteValueA(ScratchKey(), "Nothing"), ERROR_FILE_NOT_FOUND);

    ASSERT_CODE(RegSetValueExA(ScratchKey(), "", 0, REG_SZ, Data("default"), 8), ERROR_SUCCESS);
    EXPECT_EQ(QuerySize(ScratchKey(), nullptr).size, 8u) << "NULL and \"\" both name the default value";
    EXPECT_CODE(RegDeleteValueA(ScratchKey(), nullptr), ERROR_SUCCESS);
    EXPECT_CODE(QuerySize(ScratchKey(), "").error, ERROR_FILE_NOT_FOUND);
}

// ---- registry keys ------------------------------------------------------------------

using RegistryKeys = ConformanceTest;

TEST_F(RegistryKeys, CreateReportsWhetherTheKeyIsNewAndOpenFindsItInAnyCase) {
    DWORD disposition = 0;
    HKEY key = CreateKey(ScratchKey(), "Alpha\\Beta\\Gamma", KEY_ALL_ACCESS, &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    RegCloseKey(key);
    key = CreateKey(ScratchKey(), "ALPHA\\beta\\gamma\\", KEY_READ, &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);
    EXPECT_EQ(SubKeys(ScratchKey()), std::vector<std::string>{"Alpha"}) << "the first spelling stays";

    HKEY opened = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(1));
    EXPECT_CODE(RegOpenKeyExA(ScratchKey(), "alpha\\BETA", 0, KEY_READ, &opened), ERROR_SUCCESS);
    RegCloseKey(opened);
    opened = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(1));
    EXPECT_CODE(RegOpenKeyExA(ScratchKey(), "Alpha\\Missing", 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(opened, nullptr) << "a failed open clears the handle";
    EXPECT_FALSE(KeyExists(ScratchKey(), "Alpha\\Missing")) << "opening creates nothing";

    // A leading backslash is refused on the NT family.
    EXPECT_CODE(RegOpenKeyExA(ScratchKey(), "\\Alpha", 0, KEY_READ, &opened), ERROR_BAD_PATHNAME);
    EXPECT_CODE(RegCreateKeyExA(ScratchKey(), "\\Delta", 0, nullptr, 0, KEY_READ, nullptr, &opened, nullptr),
                ERROR_BAD_PATHNAME);
}

TEST_F(RegistryKeys, CreateIgnoresTheRightsOfTheParentHandle) {
    // Windows checks the new key's parent itself, not the handle it is
    // reached through: a handle opened for querying can create sub-keys.
    HKEY query = nullptr;
    ASSERT_CODE(RegOpenKeyExA(HKEY_CURRENT_USER, kScratchKey, 0, KEY_QUERY_VALUE, &query), ERROR_SUCCESS);
    DWORD disposition = 0;
    HKEY child = nullptr;
    EXPECT_CODE(RegCreateKeyExA(query, "Child", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &child, &disposition),
                ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    if (child) RegCloseKey(child);
    // The handle's own rights still rule what it does itself.
    const BYTE one = 1;
    EXPECT_CODE(RegSetValueExA(query, "v", 0, REG_BINARY, &one, 1), ERROR_ACCESS_DENIED);
    RegCloseKey(query);
    EXPECT_TRUE(KeyExists(ScratchKey(), "Child"));
}

TEST_F(RegistryKeys, HandlesOfADeletedKeyReportItDeleted) {
    HKEY gone = CreateKey(ScratchKey(), "Gone");
    ASSERT_CODE(RegDeleteKeyA(ScratchKey(), "Gone"), ERROR_SUCCESS);
    const BYTE one = 1;
    EXPECT_CODE(RegSetValueExA(gone, "v", 0, REG_BINARY, &one, 1), ERROR_KEY_DELETED);
    EXPECT_CODE(QuerySize(gone, "v").error, ERROR_KEY_DELETED);
    HKEY sub = nullptr;
    EXPECT_CODE(RegCreateKeyExA(gone, "Sub", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr), ERROR_KEY_DELETED);
    EXPECT_CODE(RegCloseKey(gone), ERROR_SUCCESS);
    EXPECT_CODE(RegCloseKey(gone), ERROR_INVALID_HANDLE) << "a handle closes once";
}

// ---- key deletion ---------------------------------------------------------------------

using RegistryDeletion = ConformanceTest;

TEST_F(RegistryDeletion, RegDeleteKeyRefusesAKeyWithSubKeys) {
    RegCloseKey(CreateKey(ScratchKey(), "Parent\\Child"));
    EXPECT_CODE(RegDeleteKeyA(ScratchKey(), "Parent"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(KeyExists(ScratchKey(), "Parent\\Child"));
    EXPECT_CODE(RegDeleteKeyA(ScratchKey(), "parent\\child"), ERROR_SUCCESS);
    EXPECT_CODE(RegDeleteKeyA(ScratchKey(), "Parent"), ERROR_SUCCESS);
    EXPECT_CODE(RegDeleteKeyA(ScratchKey(), "Parent"), ERROR_FILE_NOT_FOUND);
    EXPECT_CODE(RegDeleteKeyA(ScratchKey(), "No\\Such"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryDeletion, SHDeleteKeyRemovesTheWholeTree) {
    HKEY deep = CreateKey(ScratchKey(), "Tree\\A\\B");
    ASSERT_CODE(RegSetValueExA(deep, "v", 0, REG_SZ, Data("x"), 2), ERROR_SUCCESS);
    RegCloseKey(deep);
    RegCloseKey(CreateKey(ScratchKey(), "Tree\\C"));
    EXPECT_CODE(SHDeleteKeyA(ScratchKey(), "Tree"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(ScratchKey(), "Tree"));
    EXPECT_CODE(SHDeleteKeyA(ScratchKey(), "Tree"), ERROR_FILE_NOT_FOUND);
}

// ---- enumeration order -----------------------------------------------------------------

using RegistryEnumeration = ConformanceTest;

TEST_F(RegistryEnumeration, SubKeysComeInTheOrderOfTheirUpperCasedNames) {
    for (const char* name : {"beta", "Alpha", "_under", "GAMMA", "a1", "Zeta", "delta"}) {
        RegCloseKey(CreateKey(ScratchKey(), name));
    }
    // Windows compares upper-cased names, so '_' (after 'Z') sorts last.
    const std::vector<std::string> windows = {"a1", "Alpha", "beta", "delta", "GAMMA", "Zeta", "_under"};
    const std::vector<std::string> wine = {"_under", "a1", "Alpha", "beta", "delta", "GAMMA", "Zeta"};
    EXPECT_EQ(Joined(SubKeys(ScratchKey())),
              Joined(WindowsOrWine(windows, wine,
                                   "Windows sorts sub-keys by their upper-cased names ('_' after 'Z'); "
                                   "wineserver compares lower-cased names ('_' before 'a')")));

    // A name buffer counts characters with the NUL: "a1" fits in 3, "Alpha" does not.
    const std::vector<std::string> order = SubKeys(ScratchKey());
    for (DWORD i = 0; i < order.size(); ++i) {
        char name[3];
        DWORD size = sizeof name;
        const LONG r = RegEnumKeyExA(ScratchKey(), i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (order[i].size() < sizeof name) {
            EXPECT_CODE(r, ERROR_SUCCESS) << order[i];
            EXPECT_EQ(size, order[i].size()) << "the length without the NUL";
        } else {
            EXPECT_CODE(r, ERROR_MORE_DATA) << order[i];
        }
    }
    char name[16];
    DWORD size = sizeof name;
    EXPECT_CODE(RegEnumKeyExA(ScratchKey(), 7, name, &size, nullptr, nullptr, nullptr, nullptr),
                ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryEnumeration, ValuesComeInTheOrderTheyWereCreated) {
    for (const char* name : {"zulu", "Alpha", "mike", "BRAVO"}) {
        ASSERT_CODE(RegSetValueExA(ScratchKey(), name, 0, REG_SZ, Data("v"), 2), ERROR_SUCCESS);
    }
    // Setting an existing value again keeps its place and its spelling.
    ASSERT_CODE(RegSetValueExA(ScratchKey(), "ZULU", 0, REG_SZ, Data("w"), 2), ERROR_SUCCESS);
    const std::vector<std::string> windows = {"zulu", "Alpha", "mike", "BRAVO"};
    const std::vector<std::string> wine = {"Alpha", "BRAVO", "mike", "zulu"};
    EXPECT_EQ(Joined(ValueNames(ScratchKey())),
              Joined(WindowsOrWine(windows, wine,
                                   "Windows keeps a key's values in the order they were made; wineserver keeps "
                                   "them sorted by name")));

    char name[4];
    DWORD nameSize = sizeof name;
    DWORD type = 0;
    DWORD dataSize = 0;
    EXPECT_CODE(RegEnumValueA(ScratchKey(), 0, name, &nameSize, nullptr, &type, nullptr, &dataSize),
                ERROR_MORE_DATA);
    nameSize = sizeof name;
    EXPECT_CODE(RegEnumValueA(ScratchKey(), 4, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
                ERROR_NO_MORE_ITEMS);
}

// ---- key security ------------------------------------------------------------------------

using RegistrySecurity = ConformanceTest;

TEST_F(RegistrySecurity, ANullAccessListCanBeSetThroughAHandleWithWriteDac) {
    SECURITY_DESCRIPTOR sd;
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));

    HKEY open = CreateKey(ScratchKey(), "Open");
    EXPECT_CODE(RegSetKeySecurity(open, DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
    EXPECT_CODE(RegSetKeySecurity(open, 0, &sd), ERROR_INVALID_PARAMETER);
    RegCloseKey(open);
    HKEY all = nullptr;
    EXPECT_CODE(RegOpenKeyExA(ScratchKey(), "Open", 0, KEY_ALL_ACCESS, &all), ERROR_SUCCESS);
    RegCloseKey(all);

    HKEY read = nullptr;
    ASSERT_CODE(RegOpenKeyExA(ScratchKey(), "Open", 0, KEY_READ, &read), ERROR_SUCCESS);
    EXPECT_CODE(RegSetKeySecurity(read, DACL_SECURITY_INFORMATION, &sd), ERROR_ACCESS_DENIED);
    RegCloseKey(read);
}

// ---- profile strings ----------------------------------------------------------------------

using ProfileStrings = ConformanceTest;

TEST_F(ProfileStrings, WritesReplaceAppendAndDeleteInPlace) {
    const std::string ini = Scratch("setup.ini");
    const char* f = ini.c_str();
    ASSERT_TRUE(WritePrivateProfileStringA("App1", "key1", "string1", f));
    ASSERT_TRUE(WritePrivateProfileStringA("App1", "key2", "string2", f));
    ASSERT_TRUE(WritePrivateProfileStringA("App2", "key3", "string3", f));
    EXPECT_EQ(ReadWhole(ini), "[App1]\r\nkey1=string1\r\nkey2=string2\r\n[App2]\r\nkey3=string3\r\n");

    ASSERT_TRUE(WritePrivateProfileStringA("app1", "KEY1", "new", f));
    EXPECT_EQ(ReadWhole(ini), "[App1]\r\nkey1=new\r\nkey2=string2\r\n[App2]\r\nkey3=string3\r\n")
        << "a key written again keeps its place and spelling";

    ASSERT_TRUE(WritePrivateProfileStringA("App1", "key2", nullptr, f));
    ASSERT_TRUE(WritePrivateProfileStringA("App1", "key2", nullptr, f));
    EXPECT_EQ(ReadWhole(ini), "[App1]\r\nkey1=new\r\n[App2]\r\nkey3=string3\r\n");

    ASSERT_TRUE(WritePrivateProfileStringA("App1", nullptr, nullptr, f));
    EXPECT_EQ(ReadWhole(ini), "[App2]\r\nkey3=string3\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("App2", "key3", nullptr, f));
    EXPECT_EQ(ReadWhole(ini), "[App2]\r\n") << "the section stays without its keys";

    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "key", "value", f));
    EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringA("App", "key", "value", ""));
    EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
}

TEST_F(ProfileStrings, DeletingFromAMissingFileCreatesItEmpty) {
    const std::string ini = Scratch("missing.ini");
    EXPECT_TRUE(WritePrivateProfileStringA("App", "key", nullptr, ini.c_str()));
    const DWORD attributes = GetFileAttributesA(ini.c_str());
    EXPECT_EQ(attributes != INVALID_FILE_ATTRIBUTES,
              WindowsOrWine(true, false,
                            "Windows writes the file back even when a deletion changes nothing, so a missing "
                            "file is created empty; Wine writes nothing (a todo_wine in Wine's own tests)"));
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        EXPECT_EQ(ReadWhole(ini), "");
    }
}

TEST_F(ProfileStrings, ReadsFallBackTruncateAndList) {
    const std::string ini = Scratch("read.ini");
    const char* f = ini.c_str();
    ASSERT_TRUE(WritePrivateProfileStringA("section1", "name1", "val1", f));
    ASSERT_TRUE(WritePrivateProfileStringA("section1", "name2", "\"val2\"", f));
    ASSERT_TRUE(WritePrivateProfileStringA("section1", "name4", "a", f));
    ASSERT_TRUE(WritePrivateProfileStringA("section2", "other", "x", f));

    char buf[64];
    EXPECT_EQ(GetPrivateProfileStringA("SECTION1", "NaMe1", "default", buf, sizeof buf, f), 4u);
    EXPECT_STREQ(buf, "val1");
    EXPECT_EQ(GetPrivateProfileStringA("section1", "name2", "default", buf, sizeof buf, f), 4u);
    EXPECT_STREQ(buf, "val2") << "surrounding quotes are stripped";

    // Defaults: missing key, section or file; trailing blanks go; NULL is "".
    EXPECT_EQ(GetPrivateProfileStringA("section1", "nokey", "default", buf, sizeof buf, f), 7u);
    EXPECT_STREQ(buf, "default");
    EXPECT_EQ(GetPrivateProfileStringA("nosection", "name1", "one two  ", buf, sizeof buf, f), 7u);
    EXPECT_STREQ(buf, "one two");
    EXPECT_EQ(GetPrivateProfileStringA("section1", "nokey", nullptr, buf, sizeof buf, f), 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(GetPrivateProfileStringA("section1", "name1", "def", buf, sizeof buf, Scratch("none.ini").c_str()),
              3u);
    EXPECT_STREQ(buf, "def");
    EXPECT_EQ(GetPrivateProfileStringA("", "name1", "def", buf, sizeof buf, f), 3u) << "an empty section name";

    // Truncation: size - 1 characters and a NUL.
    EXPECT_EQ(GetPrivateProfileStringA("section1", "name1", "default", buf, 4, f), 3u);
    EXPECT_STREQ(buf, "val");
    EXPECT_EQ(GetPrivateProfileStringA("section1", "name1", "default", buf, 5, f), 4u);
    EXPECT_STREQ(buf, "val1");
    EXPECT_EQ(GetPrivateProfileStringA("section1", "name4", "default", buf, 1, f), 0u);
    EXPECT_STREQ(buf, "");
    std::strcpy(buf, "kumquat");
    EXPECT_EQ(GetPrivateProfileStringA("section1", "name1", "default", buf, 0, f), 0u);
    EXPECT_STREQ(buf, "kumquat") << "size 0 writes nothing";

    // Lists: each name with its NUL and one more NUL at the end.
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(GetPrivateProfileStringA("section1", nullptr, "default", buf, sizeof buf, f), 18u);
    EXPECT_EQ(Bytes(buf, 19), std::string("name1\0name2\0name4\0\0", 19));
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, "name1", "default", buf, sizeof buf, f), 18u);
    EXPECT_EQ(Bytes(buf, 19), std::string("section1\0section2\0\0", 19));
    // A list that does not fit is cut and still ends with two NULs: size - 2.
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(GetPrivateProfileStringA("section1", nullptr, "default", buf, 16, f), 14u);
    EXPECT_EQ(buf[14], '\0');
    EXPECT_EQ(Bytes(buf, 9), std::string("name1\0nam", 9));
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(GetPrivateProfileStringA("section1", nullptr, "default", buf, 19, f), 17u)
        << "a list that would fill the buffer exactly is cut too";
}

TEST_F(ProfileStrings, AWininitRenameSectionHoldsOneNulKey) {
    // WININIT.INI deletes files through "NUL=<file>" lines; the profile
    // functions know one line per key, so a second deletion replaces the first.
    const std::string ini = Scratch("WININIT.INI");
    const char* f = ini.c_str();
    ASSERT_TRUE(WritePrivateProfileStringA("rename", "NUL", "C:\\TEMP\\ONE.TMP", f));
    ASSERT_TRUE(WritePrivateProfileStringA("rename", "NUL", "C:\\TEMP\\TWO.TMP", f));
    ASSERT_TRUE(WritePrivateProfileStringA("rename", "C:\\NEW.SYS", "C:\\OLD.SYS", f));
    EXPECT_EQ(ReadWhole(ini), "[rename]\r\nNUL=C:\\TEMP\\TWO.TMP\r\nC:\\NEW.SYS=C:\\OLD.SYS\r\n");
    char buf[64];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(GetPrivateProfileStringA("Rename", nullptr, "", buf, sizeof buf, f), 15u);
    EXPECT_EQ(Bytes(buf, 16), std::string("NUL\0C:\\NEW.SYS\0\0", 16));
    EXPECT_EQ(GetPrivateProfileStringA("rename", "nul", "", buf, sizeof buf, f), 15u);
    EXPECT_STREQ(buf, "C:\\TEMP\\TWO.TMP");
}

// ---- files and folders -----------------------------------------------------------------------

using Files = ConformanceTest;

TEST_F(Files, AReadOnlyFileCannotBeDeletedUntilItsAttributesAreNormal) {
    const std::string file = MakeFile("locked.txt");
    EXPECT_EQ(GetFileAttributesA(file.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE)) << "a new file";
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    // Windows stores exactly the attributes set; Wine cannot clear the
    // archive bit, which its Unix files do not have.
    const char* archive = "Windows sets exactly the attributes given and reports FILE_ATTRIBUTE_NORMAL when none is "
                          "left; Wine reports FILE_ATTRIBUTE_ARCHIVE on every file, as a Unix file has no archive "
                          "bit to clear";
    const DWORD wineArchive = FILE_ATTRIBUTE_ARCHIVE;
    EXPECT_EQ(GetFileAttributesA(file.c_str()),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY) | WindowsOrWine<DWORD>(0, wineArchive, archive));
    SetLastError(0);
    EXPECT_FALSE(DeleteFileA(file.c_str()));
    EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA(file.c_str()), WindowsOrWine<DWORD>(FILE_ATTRIBUTE_NORMAL, wineArchive, archive));
    EXPECT_TRUE(DeleteFileA(file.c_str()));
    EXPECT_EQ(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesA(Scratch("no\\such.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_LAST_ERROR(ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesA(kScratchFolder), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(Files, DeletionAndRemoveDirectoryReportWhatStandsInTheWay) {
    const std::string folder = Scratch("dir");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    SetLastError(0);
    EXPECT_FALSE(CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_LAST_ERROR(ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryA(Scratch("no\\dir").c_str(), nullptr));
    EXPECT_LAST_ERROR(ERROR_PATH_NOT_FOUND);
    const std::string file = MakeFile("dir\\inside.txt");

    SetLastError(0);
    EXPECT_FALSE(RemoveDirectoryA(folder.c_str()));
    EXPECT_LAST_ERROR(ERROR_DIR_NOT_EMPTY);
    EXPECT_FALSE(RemoveDirectoryA(file.c_str()));
    EXPECT_LAST_ERROR(ERROR_DIRECTORY);
    EXPECT_FALSE(RemoveDirectoryA(Scratch("nodir").c_str()));
    EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(RemoveDirectoryA(Scratch("no\\dir").c_str()));
    EXPECT_LAST_ERROR(ERROR_PATH_NOT_FOUND);

    EXPECT_FALSE(DeleteFileA(folder.c_str()));
    EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeleteFileA(Scratch("dir\\none.txt").c_str()));
    EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteFileA(Scratch("none\\none.txt").c_str()));
    EXPECT_LAST_ERROR(ERROR_PATH_NOT_FOUND);

    EXPECT_TRUE(DeleteFileA(file.c_str()));
    EXPECT_TRUE(RemoveDirectoryA(folder.c_str()));
}

TEST_F(Files, CopyFileHonoursFailIfExistsAndReadOnlyTargets) {
    const std::string source = MakeFile("source.txt", "new content");
    const std::string target = MakeFile("target.txt", "old");
    SetLastError(0);
    EXPECT_FALSE(CopyFileA(source.c_str(), target.c_str(), TRUE));
    EXPECT_LAST_ERROR(ERROR_FILE_EXISTS);
    EXPECT_EQ(ReadWhole(target), "old");
    EXPECT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE));
    EXPECT_EQ(ReadWhole(target), "new content");

    // Windows refuses to copy over a read-only (or hidden) file, as
    // documented. Wine keeps read-only as the Unix write permission and
    // leaves the check to the Unix open(), which never refuses root.
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
    SetLastError(0);
    const BOOL overwritten = CopyFileA(source.c_str(), target.c_str(), FALSE);
    if (!OnWine() || !overwritten) {
        EXPECT_FALSE(overwritten);
        EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
    } else {
        WineDiffers("Windows refuses to copy over a read-only file (ERROR_ACCESS_DENIED); Wine run as root "
                    "overwrites it, as its read-only attribute is the Unix write permission");
    }

    EXPECT_FALSE(CopyFileA(Scratch("none.txt").c_str(), Scratch("copy.txt").c_str(), FALSE));
    EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(CopyFileA(source.c_str(), Scratch("no\\copy.txt").c_str(), FALSE));
    EXPECT_LAST_ERROR(ERROR_PATH_NOT_FOUND);

    // A copy takes the attributes of its source.
    ASSERT_TRUE(SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(CopyFileA(source.c_str(), Scratch("copy.txt").c_str(), TRUE));
    EXPECT_NE(GetFileAttributesA(Scratch("copy.txt").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(Files, FindListsDotEntriesInAFolderAndTellsMissingFilesFromMissingFolders) {
    ASSERT_TRUE(CreateDirectoryA(Scratch("find").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(Scratch("find\\Sub").c_str(), nullptr));
    MakeFile("find\\b.txt");
    MakeFile("find\\A.TXT");
    MakeFile("find\\c.dat", "12345");

    DWORD end = 0;
    std::vector<std::string> all = Find(Scratch("find\\*"), &end);
    EXPECT_EQ(end, static_cast<DWORD>(ERROR_NO_MORE_FILES));
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0], ".");
    EXPECT_EQ(all[1], "..");
    EXPECT_EQ(Joined(all), ".,..,A.TXT,b.txt,c.dat,Sub") << "NTFS lists a folder by upper-cased name";

    EXPECT_EQ(Joined(Find(Scratch("find\\*.txt"), &end)), "A.TXT,b.txt");
    EXPECT_EQ(Joined(Find(Scratch("find\\?.dat"), &end)), "c.dat");
    EXPECT_EQ(Joined(Find(Scratch("find\\B.TXT"), &end)), "b.txt") << "an exact name, in its own spelling";

    EXPECT_TRUE(Find(Scratch("find\\*.none"), &end).empty());
    EXPECT_EQ(end, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(Find(Scratch("nofolder\\*"), &end).empty());
    EXPECT_EQ(end, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    // The root of a drive has no "." and "..".
    const std::vector<std::string> root = Find("C:\\*", &end);
    ASSERT_FALSE(root.empty());
    EXPECT_NE(root[0], ".");

    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(Scratch("find\\c.dat").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    SetLastError(0);
    EXPECT_FALSE(FindNextFileA(find, &data));
    EXPECT_LAST_ERROR(ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(find));
    find = FindFirstFileA(Scratch("find\\sub").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_NE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    FindClose(find);
}

TEST_F(Files, MoveFileExAtRestartRecordsThePairInTheSessionManager) {
    const std::string doomed = MakeFile("doomed.tmp");
    const std::string from = MakeFile("from.sys");
    HKEY session = nullptr;
    ASSERT_CODE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &session), ERROR_SUCCESS);
    Queried before = QuerySize(session, kPendingValue);
    std::string existing;
    if (before.error == ERROR_SUCCESS) {
        const Queried all = Query(session, kPendingValue, before.size);
        existing = all.buffer.substr(0, all.size);
        // The list ends with an empty string; new pairs go before it.
        if (!existing.empty() && existing.back() == '\0') existing.pop_back();
    }

    EXPECT_TRUE(MoveFileExA(doomed.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_TRUE(MoveFileExA(from.c_str(), Scratch("to.sys").c_str(),
                            MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    const Queried after = Query(session, kPendingValue, 1024);
    ASSERT_CODE(after.error, ERROR_SUCCESS);
    EXPECT_EQ(after.type, static_cast<DWORD>(REG_MULTI_SZ));
    const std::string added = std::string("\\??\\C:\\conformance\\doomed.tmp\0\0", 31) +
                              std::string("\\??\\C:\\conformance\\from.sys\0!\\??\\C:\\conformance\\to.sys\0\0", 56);
    EXPECT_EQ(after.buffer.substr(0, after.size), existing + added)
        << "a deletion has an empty target, a replacement a '!' before its target";
    // Nothing happens before the restart.
    EXPECT_NE(GetFileAttributesA(doomed.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA(Scratch("to.sys").c_str()), INVALID_FILE_ATTRIBUTES);

    // A copy cannot wait for the restart.
    SetLastError(0);
    const BOOL copied = MoveFileExA(from.c_str(), Scratch("to.sys").c_str(),
                                    MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_COPY_ALLOWED);
    EXPECT_EQ(copied != FALSE, WindowsOrWine(false, true,
                                             "Windows refuses MOVEFILE_COPY_ALLOWED with MOVEFILE_DELAY_UNTIL_"
                                             "REBOOT (ERROR_INVALID_PARAMETER), as documented; Wine records the "
                                             "rename anyway"));
    if (!copied) {
        EXPECT_LAST_ERROR(ERROR_INVALID_PARAMETER);
    }
    const Queried last = Query(session, kPendingValue, 1024);
    RegCloseKey(session);
    EXPECT_EQ(last.size == after.size, !copied) << "a refused request records nothing";
}

// ---- the Windows folders ------------------------------------------------------------------------

using WindowsFolders = ConformanceTest;

TEST_F(WindowsFolders, SizesCountTheNulOnlyWhenTheBufferIsTooSmall) {
    char windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    ASSERT_GT(length, 2u);
    EXPECT_EQ(length, std::strlen(windows));
    EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), length + 1);
    char exact[MAX_PATH];
    EXPECT_EQ(GetWindowsDirectoryA(exact, length + 1), length);
    std::memset(exact, 'x', sizeof exact);
    EXPECT_EQ(GetWindowsDirectoryA(exact, length), length + 1);
    EXPECT_EQ(exact[0], 'x') << "a buffer too small is left alone";

    char system[MAX_PATH];
    const UINT systemLength = GetSystemDirectoryA(system, sizeof system);
    EXPECT_EQ(systemLength, std::strlen(system));
    EXPECT_EQ(GetSystemDirectoryA(system, systemLength), systemLength + 1);
    const std::string expected = std::string(windows) + "\\system32";
    EXPECT_EQ(Upper(system), Upper(expected)) << "on the NT family the system folder is the Windows folder's system32";
}

// ---- services -----------------------------------------------------------------------------------

class Services : public ConformanceTest {
protected:
    void SetUp() override {
        ConformanceTest::SetUp();
        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager_, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (manager_) CloseServiceHandle(manager_);
        ConformanceTest::TearDown();
    }

    // The scratch kernel driver, demand-started, whose file does not exist.
    SC_HANDLE CreateDriver() {
        return CreateServiceA(manager_, kServiceName, "Tavarin Conformance Driver", SERVICE_ALL_ACCESS,
                              SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                              "C:\\conformance\\tavconf.sys", "Extended Base", nullptr, nullptr, nullptr,
                              nullptr);
    }

    SC_HANDLE manager_ = nullptr;
};

TEST_F(Services, TheManagerOpensAndMissingServicesAreReported) {
    SetLastError(0);
    EXPECT_EQ(OpenServiceA(manager_, "TavConformanceNone", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_LAST_ERROR(ERROR_SERVICE_DOES_NOT_EXIST);
    SetLastError(0);
    EXPECT_EQ(OpenSCManagerA(nullptr, "NoSuchDatabase", SC_MANAGER_CONNECT), nullptr);
    EXPECT_LAST_ERROR(ERROR_INVALID_NAME);
    SetLastError(0);
    EXPECT_EQ(OpenSCManagerA(nullptr, SERVICES_FAILED_DATABASEA, SC_MANAGER_CONNECT), nullptr);
    EXPECT_LAST_ERROR(ERROR_DATABASE_DOES_NOT_EXIST);
}

TEST_F(Services, CreatingADriverWritesItsKey) {
    SC_HANDLE service = CreateDriver();
    ASSERT_NE(service, nullptr) << GetLastError();
    SetLastError(0);
    EXPECT_EQ(CreateDriver(), nullptr);
    EXPECT_LAST_ERROR(ERROR_SERVICE_EXISTS);

    const std::string path = std::string("SYSTEM\\CurrentControlSet\\Services\\") + kServiceName;
    HKEY key = nullptr;
    ASSERT_CODE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    for (const auto& dword : {std::make_pair("Type", 1u), std::make_pair("Start", 3u),
                              std::make_pair("ErrorControl", 1u)}) {
        const Queried q = Query(key, dword.first, 4);
        EXPECT_CODE(q.error, ERROR_SUCCESS) << dword.first;
        EXPECT_EQ(q.type, static_cast<DWORD>(REG_DWORD)) << dword.first;
        DWORD value = 0;
        std::memcpy(&value, q.buffer.data(), 4);
        EXPECT_EQ(value, dword.second) << dword.first;
    }
    Queried q = Query(key, "ImagePath", 128);
    EXPECT_CODE(q.error, ERROR_SUCCESS);
    EXPECT_EQ(q.type, WindowsOrWine<DWORD>(REG_EXPAND_SZ, REG_SZ,
                                           "Windows' service manager writes ImagePath as REG_EXPAND_SZ; Wine's as "
                                           "REG_SZ"));
    EXPECT_STREQ(q.buffer.c_str(),
                 WindowsOrWine(std::string("\\??\\C:\\conformance\\tavconf.sys"),
                               std::string("C:\\conformance\\tavconf.sys"),
                               "Windows' service manager stores a driver's DOS path as an NT path (\\??\\C:\\...); "
                               "Wine's stores the path as given")
                     .c_str());
    q = Query(key, "Group", 128);
    EXPECT_STREQ(q.buffer.c_str(), "Extended Base");
    q = Query(key, "DisplayName", 128);
    EXPECT_STREQ(q.buffer.c_str(), "Tavarin Conformance Driver");
    RegCloseKey(key);
    EXPECT_TRUE(CloseServiceHandle(service));
}

TEST_F(Services, QueryServiceConfigAsksForTheSizeItNeeds) {
    SC_HANDLE service = CreateDriver();
    ASSERT_NE(service, nullptr) << GetLastError();
    DWORD needed = 0;
    SetLastError(0);
    EXPECT_FALSE(QueryServiceConfigA(service, nullptr, 0, &needed));
    EXPECT_LAST_ERROR(ERROR_INSUFFICIENT_BUFFER);
    EXPECT_GT(needed, static_cast<DWORD>(sizeof(QUERY_SERVICE_CONFIGA)));

    std::vector<BYTE> buffer(needed + 16);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    DWORD again = 0;
    SetLastError(0);
    const BOOL short_ok = QueryServiceConfigA(service, config, needed - 1, &again);
    EXPECT_EQ(short_ok != FALSE,
              WindowsOrWine(false, true,
                            "Windows needs the size it reported; Wine's ANSI function reports the size of the "
                            "Unicode configuration (two bytes a character) and offers the Unicode call twice the "
                            "buffer, so one byte less still fits"));
    if (!short_ok) {
        EXPECT_LAST_ERROR(ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(again, needed);
    }

    ASSERT_TRUE(QueryServiceConfigA(service, config, needed, &again)) << GetLastError();
    EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
    EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_DEMAND_START));
    EXPECT_EQ(config->dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
    EXPECT_STREQ(config->lpLoadOrderGroup, "Extended Base");
    EXPECT_STREQ(config->lpDisplayName, "Tavarin Conformance Driver");
    ASSERT_NE(config->lpBinaryPathName, nullptr);
    const std::string binary = config->lpBinaryPathName;
    EXPECT_EQ(binary.substr(binary.size() - 11), "tavconf.sys");
    CloseServiceHandle(service);
}

TEST_F(Services, ADriverThatCannotStartReportsItAndIsDeleted) {
    SC_HANDLE service = CreateDriver();
    ASSERT_NE(service, nullptr) << GetLastError();

    SERVICE_STATUS status;
    std::memset(&status, 0, sizeof status);
    SetLastError(0);
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_LAST_ERROR(ERROR_SERVICE_NOT_ACTIVE);

    if (OnWine()) {
        // Not asked of Wine: it would wait for winedevice.exe for up to ten
        // seconds and answer as that process's start happened to go.
        WineDiffers("Windows fails to open a missing driver image at once (ERROR_FILE_NOT_FOUND); Wine loads "
                    "drivers in winedevice.exe and answers ERROR_DLL_INIT_FAILED, or after waiting "
                    "ERROR_SERVICE_REQUEST_TIMEOUT or ERROR_SERVICE_DATABASE_LOCKED, as that process's start goes");
    } else {
        SetLastError(0);
        EXPECT_FALSE(StartServiceA(service, 0, nullptr)) << "the driver's file does not exist";
        EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
    }
    ASSERT_TRUE(QueryServiceStatus(service, &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(status.dwServiceType, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));

    EXPECT_TRUE(DeleteService(service));
    SetLastError(0);
    EXPECT_FALSE(DeleteService(service));
    EXPECT_LAST_ERROR(ERROR_SERVICE_MARKED_FOR_DELETE);
    EXPECT_TRUE(CloseServiceHandle(service));
    SetLastError(0);
    SC_HANDLE again = OpenServiceA(manager_, kServiceName, SERVICE_QUERY_STATUS);
    EXPECT_EQ(again, nullptr) << "gone once its last handle is closed";
    EXPECT_LAST_ERROR(ERROR_SERVICE_DOES_NOT_EXIST);
    if (again) CloseServiceHandle(again);
    const std::string path = std::string("SYSTEM\\CurrentControlSet\\Services\\") + kServiceName;
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path.c_str()));
}

// ---- version ----------------------------------------------------------------------------------

struct VersionRow {
    Windows version;
    DWORD platform;
    DWORD major;
    DWORD minor;
    DWORD build;
    const char* csd;
};

void PrintTo(const VersionRow& row, std::ostream* out) { *out << conformance::WindowsName(row.version); }

class VersionQuery : public ConformanceTest, public ::testing::WithParamInterface<VersionRow> {
protected:
    Windows Version() const override { return GetParam().version; }
};

TEST_P(VersionQuery, ReportsThePlatformNumbersAndServicePack) {
    const VersionRow& row = GetParam();
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info)) << GetLastError();
    EXPECT_EQ(info.dwPlatformId, row.platform);
    EXPECT_EQ(info.dwMajorVersion, row.major);
    EXPECT_EQ(info.dwMinorVersion, row.minor);
    EXPECT_EQ(info.dwBuildNumber, row.build);
    std::string csd = row.csd;
    if (row.version == Windows::NT4) {
        csd = WindowsOrWine(csd, std::string("Service Pack 6a"),
                            "NT 4.0 with SP6a still reports \"Service Pack 6\" (SP6a is told by the Q246009 "
                            "hotfix key); Wine's nt40 reports \"Service Pack 6a\"");
    }
    EXPECT_STREQ(info.szCSDVersion, csd.c_str());

    // A wrong structure size is refused.
    for (DWORD size : {static_cast<DWORD>(0), static_cast<DWORD>(sizeof info - 1), static_cast<DWORD>(sizeof info + 1)}) {
        info.dwOSVersionInfoSize = size;
        SetLastError(0);
        EXPECT_FALSE(GetVersionExA(&info)) << size;
        if (conformance::IsNtFamily(row.version)) {
            EXPECT_LAST_ERROR(ERROR_INSUFFICIENT_BUFFER);
        }
    }
}

std::string RowName(const ::testing::TestParamInfo<VersionRow>& info) {
    return conformance::WindowsName(info.param.version);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionQuery,
    ::testing::Values(VersionRow{Windows::Win98SE, VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0x040A08AE, " A "},
                      VersionRow{Windows::WinMe, VER_PLATFORM_WIN32_WINDOWS, 4, 90, 0x045A0BB8, " "},
                      VersionRow{Windows::NT4, VER_PLATFORM_WIN32_NT, 4, 0, 1381, "Service Pack 6"},
                      VersionRow{Windows::Win2000, VER_PLATFORM_WIN32_NT, 5, 0, 2195, "Service Pack 4"},
                      VersionRow{Windows::WinXP, VER_PLATFORM_WIN32_NT, 5, 1, 2600, "Service Pack 3"},
                      VersionRow{Windows::Server2003, VER_PLATFORM_WIN32_NT, 5, 2, 3790, "Service Pack 2"}),
    RowName);

// ---- string resources -----------------------------------------------------------------------------

using StringResources = ConformanceTest;

TEST_F(StringResources, LoadStringTruncatesAndTerminates) {
    HINSTANCE self = GetModuleHandleA(nullptr);
    char buf[64];
    EXPECT_EQ(LoadStringA(self, IDS_REMOVED_SUFFIX, buf, sizeof buf), 12);
    EXPECT_STREQ(buf, " ( REMOVED )");
    EXPECT_EQ(LoadStringA(self, MAKELONG(IDS_REMOVED_SUFFIX, 0x8000), buf, sizeof buf), 12)
        << "only the low word is the number";
    EXPECT_EQ(LoadStringA(self, IDS_REMOVED_SUFFIX, buf, 5), 4);
    EXPECT_STREQ(buf, " ( R");
    std::strcpy(buf, "abc");
    SetLastError(0xDEAD);
    EXPECT_EQ(LoadStringA(self, IDS_REMOVED_SUFFIX, buf, 1), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_LAST_ERROR(0xDEAD);
    std::strcpy(buf, "abc");
    EXPECT_EQ(LoadStringA(self, IDS_REMOVED_SUFFIX, buf, 0), -1) << "the ANSI function cannot hand out the string";
    EXPECT_STREQ(buf, "abc");

    // A number missing from a block that exists is the empty string; a
    // number whose block is missing loads nothing.
    std::strcpy(buf, "abc");
    EXPECT_EQ(LoadStringA(self, IDS_MESSAGE_CAPTION, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
    std::strcpy(buf, "abc");
    EXPECT_EQ(LoadStringA(self, 4000, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
}

}  // namespace
