// The machine a conformance test runs on, and the fixture every test uses.
//
// The same tests build against the emulator (emulator_env.cpp: a fresh
// emulated machine of the chosen Windows version per test) and as a Windows
// program run under Wine (wine_env.cpp: the prefix, whose Windows version
// run-under-wine.sh sets before each run). Nothing else knows which one it is.
//
// A test works only in its scratch places, emptied before and after it:
// the registry key HKCU\Software\TavarinConformance, the folder
// C:\conformance, the service TavConformanceDrv, and the pending rename list
// of the session manager (restored as it was found).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/winapi.h"

namespace conformance {

// The versions a test can ask for, named as Wine names them in a prefix.
enum class Windows { Win98SE, WinMe, NT4, Win2000, WinXP, Server2003 };

// "win98", "winme", "nt40", "win2k", "winxp", "win2003".
const char* WindowsName(Windows version);
bool IsNtFamily(Windows version);

// Makes the machine of that version current for the test (the emulator), or
// checks that the prefix runs that version (Wine). False with the reason
// when the test cannot run on it.
bool BeginMachine(Windows version, std::string* error);
// Ends the test's machine. A message when the test left something behind
// that the fixture cannot see through the API (handles it never closed).
std::string EndMachine();
// True in the Windows build when Wine runs it (ntdll exports
// wine_get_version); false on the emulator and on Windows itself.
bool OnWine();

// Bytes of a value or file, for comparing exactly.
std::string Bytes(const void* data, size_t size);

}  // namespace conformance

class ConformanceTest : public ::testing::Test {
public:
    static constexpr const char* kScratchKey = "Software\\TavarinConformance";
    static constexpr const char* kScratchFolder = "C:\\conformance";
    static constexpr const char* kServiceName = "TavConformanceDrv";
    static constexpr const char* kSessionManager = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    static constexpr const char* kPendingValue = "PendingFileRenameOperations";

protected:
    // The Windows version of the test's machine.
    virtual conformance::Windows Version() const { return conformance::Windows::WinXP; }

    void SetUp() override;
    void TearDown() override;

    // HKCU\Software\TavarinConformance, opened with KEY_ALL_ACCESS.
    HKEY ScratchKey() const { return scratchKey_; }
    // "C:\conformance\<name>".
    static std::string Scratch(const std::string& name);
    // Creates a file in the scratch folder with that content; its full path.
    static std::string MakeFile(const std::string& name, const std::string& content = "data");
    // The whole content of a file; empty when it cannot be read.
    static std::string ReadWhole(const std::string& path);
    // The names FindFirstFileA / FindNextFileA give for the pattern, in
    // order; the error that ended the search in *end.
    static std::vector<std::string> Find(const std::string& pattern, DWORD* end);

private:
    static void EmptyScratch();
    static void RemoveScratchService();
    void SavePendingRenames();
    void RestorePendingRenames();

    bool begun_ = false;
    HKEY scratchKey_ = nullptr;
    bool pendingSaved_ = false;
    bool pendingExisted_ = false;
    std::string pendingData_;
};
