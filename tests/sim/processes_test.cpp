// Programs on the emulated machine: starts by _spawnl and ShellExecuteExA,
// what scripted programs do, waits on the virtual clock, and the security
// program's window.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "sim/include/windows.h"
#include "sim/machine/filesystem.h"
#include "sim/machine/machine.h"
#include "sim/machine/processes.h"
#include "sim/machine/registry.h"
#include "sim/machine/window_errors.h"
#include "sim/machine/window_manager.h"

namespace {

const char* const kUtility = "C:\\Program Files\\Zelmar\\Tavarin\\tavarin.exe";
const char* const kEnd = nullptr;

struct Fixture {
    explicit Fixture(sim::WindowsVersion version = sim::WindowsVersion::WinXP) : machine(version), scope(machine) {
        machine.files().WriteFile(kUtility, "MZ");
    }
    sim::ProcessTable& procs() { return machine.processes(); }

    std::vector<std::string> Starts() const {
        std::vector<std::string> out;
        for (const auto& e : machine.transcript.OfKind("process")) out.push_back(e.text);
        return out;
    }

    sim::Machine machine;
    sim::MachineScope scope;
};

TEST(Processes, SpawnNoWaitJoinsTheArgumentsAndHandsOverAHandle) {
    Fixture f;
    sim::ProgramScript script;
    script.runsFor = 2000;
    script.exitCode = 7;
    f.procs().ScriptProgram(kUtility, script);

    const intptr_t h = _spawnl(_P_NOWAIT, kUtility, kUtility, "-silent -hs", kEnd);
    ASSERT_NE(h, -1);
    const HANDLE process = reinterpret_cast<HANDLE>(h);
    // No quotes are added, not even around a path with blanks.
    EXPECT_EQ(f.Starts(), std::vector<std::string>{std::string(kUtility) + " -silent -hs"});
    EXPECT_EQ(f.procs().OpenHandleCount(), 1u);

    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(process, 500), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(f.machine.clock.Now(), 500u);
    EXPECT_EQ(f.procs().IsSignaled(process), false);
    EXPECT_EQ(WaitForSingleObject(process, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(f.machine.clock.Now(), 2000u);
    ASSERT_TRUE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(CloseHandle(process));
    EXPECT_FALSE(CloseHandle(process));
    EXPECT_EQ(f.procs().OpenHandleCount(), 0u);
    EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    // arg0 is whatever the caller passes; every argument is one piece.
    _spawnl(_P_WAIT, kUtility, "tavarin", "a b", "c", kEnd);
    EXPECT_EQ(f.Starts().back(), "tavarin a b c");
}

TEST(Processes, AMissingProgramDoesNotStart) {
    Fixture f;
    errno = 0;
    EXPECT_EQ(_spawnl(_P_NOWAIT, "C:\\Program Files\\Zelmar\\Tavarin\\gone.exe",
                      "C:\\Program Files\\Zelmar\\Tavarin\\gone.exe", "-x", kEnd),
              -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    errno = 0;
    EXPECT_EQ(_spawnl(_P_WAIT, "C:\\Nowhere\\x.exe", "C:\\Nowhere\\x.exe", kEnd), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    errno = 0;
    EXPECT_EQ(_spawnl(_P_NOWAIT, "C:\\Program Files", "C:\\Program Files", kEnd), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(_spawnl(_P_NOWAIT, kUtility, kEnd), -1);  // no arg0
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(f.Starts(), (std::vector<std::string>{
                              "failed (error 2): C:\\Program Files\\Zelmar\\Tavarin\\gone.exe -x",
                              "failed (error 3): C:\\Nowhere\\x.exe",
                              "failed (error 5): C:\\Program Files",
                          }));
    EXPECT_TRUE(f.procs().Processes().empty());
    EXPECT_EQ(f.procs().OpenHandleCount(), 0u);
}

TEST(Processes, StartsFailOnDemandForTheProgramFileTheyWouldStart) {
    Fixture f;
    // Named by the full path of the file found, not as the tool spelled it.
    f.machine.faults.Add({"_spawnl", "c:\\PROGRAM FILES\\zelmar\\tavarin\\tavarin.exe", ERROR_BAD_FORMAT, true});
    f.machine.faults.Add({"ShellExecuteExA", kUtility, ERROR_ACCESS_DENIED, false});
    errno = 0;
    EXPECT_EQ(_spawnl(_P_WAIT, "C:/Program Files/Zelmar/Tavarin/tavarin", "tavarin", "-x", kEnd), -1);
    EXPECT_EQ(errno, ENOEXEC);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_FORMAT));
    EXPECT_TRUE(f.procs().Processes().empty());
    EXPECT_EQ(f.Starts(), std::vector<std::string>{"failed (error 11): tavarin -x"});
    EXPECT_EQ(_spawnl(_P_WAIT, kUtility, "tavarin", kEnd), 0);  // the request was for once

    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.lpFile = "tavarin.exe";
    info.lpDirectory = "C:\\Program Files\\Zelmar\\Tavarin";
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_FALSE(ShellExecuteExA(&info));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(reinterpret_cast<INT_PTR>(info.hInstApp), SE_ERR_ACCESSDENIED);
    }
    EXPECT_EQ(f.procs().Processes().size(), 1u);
    EXPECT_EQ(f.machine.transcript.OfKind("failure").back().text,
              std::string("ShellExecuteExA ") + kUtility + " -> error 5 (on demand)");
}

TEST(Processes, SpawnTriesTheProgramExtensionsForABareName) {
    Fixture f;
    f.machine.files().WriteFile("C:\\Tools\\fix.exe", "MZ");
    ASSERT_EQ(_spawnl(_P_WAIT, "C:\\Tools\\fix", "fix", "/q", kEnd), 0);
    ASSERT_EQ(f.procs().Processes().size(), 1u);
    EXPECT_EQ(f.procs().Processes()[0].program, "C:\\Tools\\fix.exe");
    EXPECT_EQ(f.procs().Processes()[0].commandLine, "fix /q");
}

TEST(Processes, SpawnWaitLetsTheProgramRunAndReturnsItsExitCode) {
    Fixture f;
    const std::string msiexec = f.machine.SystemDir() + "\\msiexec.exe";
    const std::string uninstall = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{X}";
    f.machine.files().WriteFile(msiexec, "MZ");
    f.machine.registry().CreateKey(uninstall);
    sim::ProgramScript script;
    script.runsFor = 45000;
    script.exitCode = 1605;
    script.onStart = [&](sim::Machine& m, const sim::ProcessRecord& p) {
        if (p.commandLine.find("/x {X}") != std::string::npos) m.registry().DeleteKeyTree(uninstall);
    };
    f.procs().ScriptProgram("MSIEXEC.EXE", script);  // by file name, in any folder

    EXPECT_EQ(_spawnl(_P_WAIT, msiexec.c_str(), msiexec.c_str(), "/x", "{X}", "/qb", kEnd), 1605);
    EXPECT_EQ(f.machine.clock.Now(), 45000u);
    EXPECT_FALSE(f.machine.registry().KeyExists(uninstall));
    EXPECT_EQ(f.procs().OpenHandleCount(), 0u);
    EXPECT_EQ(f.machine.transcript.OfKind("process-exit").at(0).text, msiexec + " exit 1605");

    // A script for the full path wins over one for the file name.
    sim::ProgramScript quick;
    quick.exitCode = 3;
    f.procs().ScriptProgram(msiexec, quick);
    EXPECT_EQ(_spawnl(_P_WAIT, msiexec.c_str(), msiexec.c_str(), kEnd), 3);
    EXPECT_EQ(f.machine.clock.Now(), 45000u);  // it ended at once
}

TEST(Processes, AWaitThatNothingCanEndStallsTheScenario) {
    Fixture f;
    sim::ProgramScript forever;
    forever.runsFor = std::nullopt;
    f.procs().ScriptProgram(kUtility, forever);
    EXPECT_THROW(_spawnl(_P_WAIT, kUtility, kUtility, kEnd), sim::ScenarioStalled);

    // A program that would end, but only after the idle limit.
    sim::ProgramScript slow;
    slow.runsFor = f.machine.windows().IdleLimit() + 1;
    f.procs().ScriptProgram(kUtility, slow);
    EXPECT_THROW(_spawnl(_P_WAIT, kUtility, kUtility, kEnd), sim::ScenarioStalled);
}

TEST(Processes, ARunningUtilityEndsWhenToldToKillItself) {
    Fixture f;
    const DWORD running = f.procs().StartRunning(kUtility, std::string(kUtility) + " -silent -hs");
    sim::ProgramScript utility;
    utility.onStart = [](sim::Machine& m, const sim::ProcessRecord& p) {
        if (p.commandLine.find("-killapp") != std::string::npos) m.processes().EndProgram("tavarin.exe", 0, p.id);
    };
    f.procs().ScriptProgram("tavarin.exe", utility);
    EXPECT_TRUE(f.procs().IsRunning(kUtility));

    const intptr_t h = _spawnl(_P_NOWAIT, kUtility, kUtility, "-silent", kEnd);
    CloseHandle(reinterpret_cast<HANDLE>(h));
    EXPECT_TRUE(f.procs().Find(running)->Running());
    const intptr_t k = _spawnl(_P_NOWAIT, kUtility, kUtility, "-killapp", kEnd);
    CloseHandle(reinterpret_cast<HANDLE>(k));
    EXPECT_FALSE(f.procs().Find(running)->Running());
    EXPECT_FALSE(f.procs().IsRunning(kUtility));
    EXPECT_EQ(f.procs().StartedCommandLines(),
              (std::vector<std::string>{std::string(kUtility) + " -silent", std::string(kUtility) + " -killapp"}));
}

TEST(Processes, ShellExecuteFindsTheFileAndGivesAHandleOnlyWhenAsked) {
    Fixture f;
    f.machine.files().WriteFile("C:\\Program Files\\Zelmar\\Tavarin\\Zovavizu.exe", "MZ");
    sim::ProgramScript remover;
    remover.runsFor = 3000;
    f.procs().ScriptProgram("zovavizu.exe", remover);

    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = "Zovavizu.exe";
    info.lpParameters = "-remove PCI\\VEN_1";
    info.lpDirectory = "C:\\Program Files\\Zelmar\\Tavarin";
    info.nShow = SW_SHOWNORMAL;
    ASSERT_TRUE(ShellExecuteExA(&info));
    ASSERT_NE(info.hProcess, nullptr);
    EXPECT_GT(reinterpret_cast<INT_PTR>(info.hInstApp), 32);
    EXPECT_EQ(f.machine.transcript.OfKind("process").back().text,
              "file=\"Zovavizu.exe\" parameters=\"-remove PCI\\VEN_1\" show=1");
    const sim::ProcessRecord& p = f.procs().Processes().back();
    EXPECT_EQ(p.program, "C:\\Program Files\\Zelmar\\Tavarin\\Zovavizu.exe");
    EXPECT_EQ(p.commandLine, "\"C:\\Program Files\\Zelmar\\Tavarin\\Zovavizu.exe\" -remove PCI\\VEN_1");
    EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(f.machine.clock.Now(), 3000u);
    CloseHandle(info.hProcess);

    info.fMask = 0;
    ASSERT_TRUE(ShellExecuteExA(&info));
    EXPECT_EQ(info.hProcess, nullptr);
    EXPECT_EQ(f.procs().OpenHandleCount(), 0u);

    info.lpFile = "C:\\Elsewhere\\Zovavizu.exe";
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    EXPECT_FALSE(ShellExecuteExA(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(reinterpret_cast<INT_PTR>(info.hInstApp), SE_ERR_PNF);
    EXPECT_EQ(info.hProcess, nullptr);
    info.lpFile = "Missing.exe";
    EXPECT_FALSE(ShellExecuteExA(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    info.cbSize = 12;
    EXPECT_FALSE(ShellExecuteExA(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(Processes, ScriptedPostsReachAWindowOrAreDropped) {
    Fixture f;
    std::vector<UINT> received;
    f.machine.windows().AddForeignWindow("Helper", "Helper", [&](UINT message, WPARAM, LPARAM) -> LRESULT {
        received.push_back(message);
        return 0;
    });
    sim::ProgramScript script;
    script.runsFor = std::nullopt;
    script.posts = {{100, "Helper", "", WM_USER + 1, 0, 0}, {200, "Nobody", "", WM_USER + 2, 0, 0}};
    f.procs().ScriptProgram(kUtility, script);
    const intptr_t h = _spawnl(_P_NOWAIT, kUtility, kUtility, kEnd);
    CloseHandle(reinterpret_cast<HANDLE>(h));
    Sleep(150);
    EXPECT_EQ(received, std::vector<UINT>{WM_USER + 1});
    Sleep(100);
    const auto posts = f.machine.transcript.OfKind("process-post");
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(posts[1].text.rfind("dropped message 1026 to \"Nobody\"", 0), 0u) << posts[1].text;
}

TEST(Processes, TheSecurityProgramAnswersItsStopCommand) {
    Fixture f(sim::WindowsVersion::Win98SE);
    const std::string program = "C:\\Program Files\\Zelmar\\Tavarin\\ZelmSS.exe";
    RunSecurityProgram(f.machine, program, {});
    HWND window = FindWindowA("ZelmSS", nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(SendMessageA(window, WM_COMMAND, 1000, 0), 0);  // not the stop command
    EXPECT_EQ(SendMessageA(window, WM_COMMAND, 1129, 0), 1);
    // The window is gone by the time the answer arrives, and the program ended.
    EXPECT_EQ(FindWindowA("ZelmSS", nullptr), nullptr);
    EXPECT_FALSE(f.procs().IsRunning(program));

    // A program that refuses, or that answers but stays.
    sim::SecurityProgramScript refuses;
    refuses.reply = 0;
    RunSecurityProgram(f.machine, program, refuses);
    window = FindWindowA("ZelmSS", nullptr);
    EXPECT_EQ(SendMessageA(window, WM_COMMAND, 1129, 0), 0);
    EXPECT_EQ(FindWindowA("ZelmSS", nullptr), window);
    EXPECT_TRUE(f.machine.windows().RemoveForeignWindow(window));
    EXPECT_EQ(f.procs().EndProgram("zelmss.exe", 0), 1u);

    // Started by the tool, the scripted program brings up its window.
    f.machine.files().WriteFile(program, "MZ");
    sim::ScriptSecurityProgram(f.machine, program, {});
    EXPECT_EQ(FindWindowA("ZelmSS", nullptr), nullptr);
    const intptr_t h = _spawnl(_P_NOWAIT, program.c_str(), program.c_str(), kEnd);
    ASSERT_NE(h, -1);
    CloseHandle(reinterpret_cast<HANDLE>(h));
    window = FindWindowA("ZelmSS", nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(f.procs().IsRunning(program));
    EXPECT_EQ(SendMessageA(window, WM_COMMAND, 1129, 0), 1);
    EXPECT_FALSE(f.procs().IsRunning(program));
}

}  // namespace
