// The fixture's scratch places, set up and emptied through the Win32 API
// alone, so that the Wine run does not depend on a pristine prefix.
#include <cstring>
#include <string>
#include <vector>

#include "tests/conformance/conformance_env.h"

namespace conformance {

const char* WindowsName(Windows version) {
    switch (version) {
    case Windows::Win98SE: return "win98";
    case Windows::WinMe: return "winme";
    case Windows::NT4: return "nt40";
    case Windows::Win2000: return "win2k";
    case Windows::WinXP: return "winxp";
    case Windows::Server2003: return "win2003";
    }
    return "?";
}

bool IsNtFamily(Windows version) { return version != Windows::Win98SE && version != Windows::WinMe; }

std::string Bytes(const void* data, size_t size) { return std::string(static_cast<const char*>(data), size); }

}  // namespace conformance

namespace {

// Removes a key with everything below it; no error when it is missing.
void RemoveKeyTree(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    for (;;) {
        char child[256];
        DWORD size = sizeof child;
        if (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const DWORD before = size;
        RemoveKeyTree(key, child);
        // A child that cannot be removed would be found again for ever.
        char again[256];
        size = sizeof again;
        if (RegEnumKeyExA(key, 0, again, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
            size == before && std::strcmp(again, child) == 0) {
            break;
        }
    }
    RegCloseKey(key);
    RegDeleteKeyA(parent, name.c_str());
}

// Removes a folder with everything in it, read-only entries included.
void RemoveFolderTree(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            const std::string full = path + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveFolderTree(full);
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

}  // namespace

void ConformanceTest::SetUp() {
    std::string error;
    if (!conformance::BeginMachine(Version(), &error)) {
        GTEST_FAIL() << error;
    }
    begun_ = true;
    EmptyScratch();
    SavePendingRenames();
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kScratchKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &scratchKey_,
                              &disposition),
              ERROR_SUCCESS);
    ASSERT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    ASSERT_TRUE(CreateDirectoryA(kScratchFolder, nullptr)) << GetLastError();
}

void ConformanceTest::TearDown() {
    if (!begun_) return;
    begun_ = false;
    if (scratchKey_) RegCloseKey(scratchKey_);
    scratchKey_ = nullptr;
    RestorePendingRenames();
    EmptyScratch();
    const std::string leftover = conformance::EndMachine();
    EXPECT_TRUE(leftover.empty()) << leftover;
}

void ConformanceTest::EmptyScratch() {
    RemoveKeyTree(HKEY_CURRENT_USER, kScratchKey);
    RemoveFolderTree(kScratchFolder);
    RemoveScratchService();
}

void ConformanceTest::RemoveScratchService() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return;  // the 9x family has no service manager
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
    if (service) {
        SERVICE_STATUS status;
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

void ConformanceTest::SavePendingRenames() {
    pendingSaved_ = false;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
    DWORD size = 0;
    DWORD type = 0;
    pendingExisted_ = RegQueryValueExA(key, kPendingValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    pendingData_.clear();
    if (pendingExisted_) {
        std::vector<BYTE> data(size + 2);
        size = static_cast<DWORD>(data.size());
        if (RegQueryValueExA(key, kPendingValue, nullptr, &type, data.data(), &size) == ERROR_SUCCESS) {
            pendingData_ = conformance::Bytes(data.data(), size);
        }
    }
    RegCloseKey(key);
    pendingSaved_ = true;
}

void ConformanceTest::RestorePendingRenames() {
    if (!pendingSaved_) return;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (pendingExisted_) {
        RegSetValueExA(key, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(pendingData_.data()),
                       static_cast<DWORD>(pendingData_.size()));
    } else {
        RegDeleteValueA(key, kPendingValue);
    }
    RegCloseKey(key);
}

std::string ConformanceTest::Scratch(const std::string& name) { return std::string(kScratchFolder) + "\\" + name; }

std::string ConformanceTest::MakeFile(const std::string& name, const std::string& content) {
    const std::string path = Scratch(name);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << path << " error " << GetLastError();
    if (file == INVALID_HANDLE_VALUE) return path;
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
    CloseHandle(file);
    return path;
}

std::string ConformanceTest::ReadWhole(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string content;
    char buffer[512];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) content.append(buffer, read);
    CloseHandle(file);
    return content;
}

std::vector<std::string> ConformanceTest::Find(const std::string& pattern, DWORD* end) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        *end = GetLastError();
        return names;
    }
    do {
        names.push_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    *end = GetLastError();
    FindClose(find);
    return names;
}
