// The conformance tests as a Windows program. The Windows version is the
// prefix's: run-under-wine.sh sets it before each run and names it in
// TAV_CONFORMANCE_WINDOWS ("winxp" when unset); a test that asks for another
// version fails instead of running on the wrong one.
#include <cstdlib>
#include <string>

#include "tests/conformance/conformance_env.h"

namespace conformance {

bool BeginMachine(Windows version, std::string* error) {
    const char* set = std::getenv("TAV_CONFORMANCE_WINDOWS");
    const std::string current = set && *set ? set : "winxp";
    if (current == WindowsName(version)) return true;
    *error = std::string("this test needs Windows version ") + WindowsName(version) + ", the prefix runs " + current +
             " (TAV_CONFORMANCE_WINDOWS): select the tests of each version with --gtest_filter";
    return false;
}

std::string EndMachine() { return std::string(); }

bool OnWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace conformance
