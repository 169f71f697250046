#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sim/include/windows.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"

namespace {

class ProfileStrings : public ::testing::Test {
protected:
    ProfileStrings() : scope_(m_) {}

    std::string File() { return *m_.files().ReadFile(kPath); }

    // GetPrivateProfileStringA into a buffer of `size`, the whole buffer
    // returned so that NULs inside lists show.
    std::string Get(const char* section, const char* key, const char* def, DWORD size, DWORD* result) {
        std::string buf(size + 4, '#');
        *result = GetPrivateProfileStringA(section, key, def, &buf[0], size, kPath);
        return buf.substr(0, size);
    }

    static constexpr const char* kPath = "C:\\tool\\tav.ini";
    sim::Machine m_{sim::WindowsVersion::WinXP};
    sim::MachineScope scope_;
};

TEST_F(ProfileStrings, WritesEditTheFileInPlaceAndKeepTheRest) {
    m_.files().WriteFile(kPath,
                         "; settings\r\n[Main]\r\nName = Old\r\nKeep=1\r\n\r\n[Other]\nx=y\n[main]\r\nName=Second\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("MAIN", "name", "New", kPath));
    ASSERT_TRUE(WritePrivateProfileStringA("Main", "Added", "2", kPath));
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "z", "w", kPath));
    ASSERT_TRUE(WritePrivateProfileStringA("Third", "k", "", kPath));
    EXPECT_EQ(File(),
              "; settings\r\n[Main]\r\nName =New\r\nKeep=1\r\nAdded=2\r\n\r\n[Other]\nx=y\nz=w\r\n[main]\r\n"
              "Name=Second\r\n[Third]\r\nk=\r\n");

    ASSERT_TRUE(WritePrivateProfileStringA("main", "KEEP", nullptr, kPath));    // deletes the key
    ASSERT_TRUE(WritePrivateProfileStringA("main", "absent", nullptr, kPath));  // nothing to delete
    ASSERT_TRUE(WritePrivateProfileStringA("Other", nullptr, "ignored", kPath));  // deletes the section
    EXPECT_EQ(File(), "; settings\r\n[Main]\r\nName =New\r\nAdded=2\r\n\r\n[main]\r\nName=Second\r\n[Third]\r\nk=\r\n");

    // A CR alone ends a line too, and keeps its place.
    m_.files().WriteFile(kPath, "[a]\rk=1\r[b]\rx=y");
    ASSERT_TRUE(WritePrivateProfileStringA("a", "j", "2", kPath));
    EXPECT_EQ(File(), "[a]\rk=1\rj=2\r\n[b]\rx=y");
}

// Whole sections: the way several "NUL=" lines get into WININIT.INI, which
// the profile-string writer (one value per key) cannot do.
TEST_F(ProfileStrings, SectionsKeepDuplicateKeysAndTheRestOfTheFile) {
    m_.files().WriteFile(kPath, "[Other]\r\nx=y\r\n[rename]\r\n; note\r\nNUL = C:\\A.TXT\r\n[Last]\r\nk=v\r\n");
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    // The count holds every NUL but the list's last.
    ASSERT_EQ(GetPrivateProfileSectionA("RENAME", buffer, sizeof buffer, kPath), 13u);
    EXPECT_EQ(std::string(buffer, 15), std::string("NUL=C:\\A.TXT\0\0#", 15));

    const char lines[] = "NUL=C:\\A.TXT\0NUL=C:\\B.TXT\0";
    ASSERT_TRUE(WritePrivateProfileSectionA("rename", lines, kPath));
    EXPECT_EQ(File(), "[Other]\r\nx=y\r\n[rename]\r\nNUL=C:\\A.TXT\r\nNUL=C:\\B.TXT\r\n[Last]\r\nk=v\r\n");
    // A list that does not fit is cut and ends with two NULs: size - 2.
    EXPECT_EQ(GetPrivateProfileSectionA("rename", buffer, 20, kPath), 18u);
    EXPECT_EQ(std::string(buffer, 20), std::string("NUL=C:\\A.TXT\0NUL=C\0\0", 20));
    // A new section goes at the end; no section reads as an empty list.
    ASSERT_TRUE(WritePrivateProfileSectionA("New", "a=1\0", kPath));
    EXPECT_EQ(File().substr(File().size() - 12), "[New]\r\na=1\r\n");
    EXPECT_EQ(GetPrivateProfileSectionA("Missing", buffer, sizeof buffer, kPath), 0u);
    EXPECT_EQ(buffer[0], '\0');
}

TEST_F(ProfileStrings, WritesCreateTheFileAndRejectBadArguments) {
    m_.files().CreateFolder("C:\\tool");
    ASSERT_TRUE(WritePrivateProfileStringA("App", "key", "string", kPath));
    EXPECT_EQ(File(), "[App]\r\nkey=string\r\n");
    EXPECT_EQ(m_.files().Attributes(kPath), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    // A deletion that finds no file still leaves an empty one.
    ASSERT_TRUE(WritePrivateProfileStringA("App", nullptr, nullptr, "C:\\tool\\empty.ini"));
    EXPECT_EQ(m_.files().ReadFile("C:\\tool\\empty.ini"), "");

    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "key", "v", kPath));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(WritePrivateProfileStringA("App", "key", "v", ""));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(WritePrivateProfileStringA("App", "key", "v", "C:\\nofolder\\x.ini"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    m_.files().SetAttributes(kPath, FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(WritePrivateProfileStringA("App", "key", "v", kPath));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    m_.files().SetAttributes(kPath, FILE_ATTRIBUTE_NORMAL);
    m_.files().SetInUse(kPath, true);
    EXPECT_FALSE(WritePrivateProfileStringA("App", "key", "v", kPath));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    DWORD n = 0;
    EXPECT_EQ(Get("App", "key", "", 16, &n).substr(0, 7), std::string("string\0", 7));  // reading still works
    EXPECT_EQ(File(), "[App]\r\nkey=string\r\n");

    // A bare file name lives in the Windows folder.
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "v", "bare.ini"));
    EXPECT_EQ(m_.files().ReadFile("C:\\WINDOWS\\bare.ini"), "[s]\r\nk=v\r\n");
    char buf[8];
    EXPECT_EQ(GetPrivateProfileStringA("S", "K", "", buf, sizeof buf, "BARE.INI"), 1u);
}

TEST_F(ProfileStrings, ReadsFollowTheDocumentedRules) {
    m_.files().WriteFile(kPath,
                         "[section1]\rname1=val1\rname2=\"val2\"\rname3\rname4=a\r; name5=hidden\r[ section2 ]\r");
    DWORD n = 0;
    EXPECT_EQ(Get("SECTION1", "NaMe1", "default", 5, &n), std::string("val1\0", 5));
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(Get("section1", "name1", "default", 4, &n), std::string("val\0", 4));  // cut, then NUL
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(Get("section1", "name2", "", 8, &n).substr(0, 5), std::string("val2\0", 5));  // quotes stripped
    for (const char* missing : {"name3", "name5", "nokey", ""}) {
        EXPECT_EQ(Get("section1", missing, "def  ", 8, &n).substr(0, 4), std::string("def\0", 4)) << missing;
        EXPECT_EQ(n, 3u);
    }
    EXPECT_EQ(Get("", "name1", nullptr, 4, &n).substr(0, 1), std::string("\0", 1));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(Get("section1", "name1", "default", 0, &n), "");
    EXPECT_EQ(n, 0u);

    // Lists: each name ends with a NUL, the list with another.
    EXPECT_EQ(Get(nullptr, nullptr, "default", 20, &n).substr(0, 19), std::string("section1\0section2\0\0", 19));
    EXPECT_EQ(n, 18u);
    EXPECT_EQ(Get(nullptr, "x", "default", 16, &n), std::string("section1\0secti\0\0", 16));
    EXPECT_EQ(n, 14u);
    EXPECT_EQ(Get("section1", nullptr, "default", 20, &n).substr(0, 19), std::string("name1\0name2\0name4\0\0", 19));
    EXPECT_EQ(n, 18u);
    EXPECT_EQ(Get("section1", nullptr, "", 16, &n), std::string("name1\0name2\0na\0\0", 16));
    EXPECT_EQ(n, 14u);
    EXPECT_EQ(Get("section2", nullptr, "default", 4, &n).substr(0, 2), std::string("\0\0", 2));
    EXPECT_EQ(n, 0u);

    SetLastError(0);
    char buf[16];
    EXPECT_EQ(GetPrivateProfileStringA("a", "b", "dflt", buf, sizeof buf, "C:\\tool\\none.ini"), 4u);
    EXPECT_STREQ(buf, "dflt");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
