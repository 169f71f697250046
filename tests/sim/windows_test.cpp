#include "sim/include/windows.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "sim/machine/machine.h"
#include "sim/scenario/user_script.h"
#include "sim/machine/window_manager.h"

namespace {

using Millis = sim::Clock::Millis;

// The dialog procedure of the tests hands every message to the test's own
// handler.
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)>* g_handler = nullptr;

INT_PTR CALLBACK TestProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return g_handler && *g_handler ? (*g_handler)(window, message, wParam, lParam) : FALSE;
}

class Windows : public testing::Test {
protected:
    void SetUp() override { g_handler = &handler; }
    void TearDown() override { g_handler = nullptr; }

    sim::WindowManager& wm() { return machine.windows(); }
    sim::UserScript& user() { return machine.windows().User(); }
    Millis Now() const { return machine.clock.Now(); }

    HWND Create(int id = 102, LPARAM param = 0) {
        return CreateDialogParamA(nullptr, MAKEINTRESOURCEA(id), nullptr, &TestProc, param);
    }

    // A modal loop as the framework runs it.
    int Run(HWND dialog) {
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (!IsDialogMessageA(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        return static_cast<int>(msg.wParam);
    }

    std::vector<std::string> Transcript(const std::string& kind) const {
        std::vector<std::string> out;
        for (const auto& e : machine.transcript.OfKind(kind)) out.push_back(std::to_string(e.time) + " " + e.text);
        return out;
    }

    sim::Machine machine;
    sim::MachineScope scope{machine};
    std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> handler;
};

// ---- dialogs from templates --------------------------------------------------------------

TEST_F(Windows, DialogIsBuiltFromItsTemplate) {
    WPARAM initFocus = 0;
    LPARAM initParam = 0;
    handler = [&](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (message != WM_INITDIALOG) return FALSE;
        initFocus = wParam;
        initParam = lParam;
        return TRUE;
    };
    HWND d = Create(102, 42);
    ASSERT_NE(d, nullptr);
    HWND close = GetDlgItem(d, IDOK);
    HWND cancel = GetDlgItem(d, IDCANCEL);
    EXPECT_EQ(initParam, 42);
    // The first visible, enabled tab stop: Close is disabled.
    EXPECT_EQ(reinterpret_cast<HWND>(initFocus), cancel);
    EXPECT_EQ(GetFocus(), cancel);
    EXPECT_TRUE(IsWindowVisible(d));
    EXPECT_FALSE(IsWindowEnabled(close));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, 1002)));
    EXPECT_EQ(GetParent(d), nullptr);
    EXPECT_EQ(GetParent(close), d);
    EXPECT_EQ(GetDlgCtrlID(cancel), IDCANCEL);
    EXPECT_EQ(GetWindowLongPtrA(close, GWL_STYLE), LONG_PTR(WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_DISABLED));
    EXPECT_EQ(GetWindowLongPtrA(d, GWL_STYLE) & WS_VISIBLE, WS_VISIBLE);

    char text[64];
    EXPECT_EQ(GetWindowTextA(d, text, sizeof text), 20);
    EXPECT_STREQ(text, "Tavarin Device Setup");
    EXPECT_EQ(GetDlgItemTextA(d, 1000, text, 6), 5u);
    EXPECT_STREQ(text, "Instr");
    const HANDLE banner = reinterpret_cast<HANDLE>(SendDlgItemMessageA(d, 1011, STM_GETIMAGE, IMAGE_BITMAP, 0));
    EXPECT_EQ(wm().ImageResourceId(banner), 247);

    RECT client;
    ASSERT_TRUE(GetClientRect(d, &client));
    EXPECT_EQ(client.right, 480);   // 320 dialog units at 6 pixels per 4
    EXPECT_EQ(client.bottom, 271);  // 167 dialog units at 13 pixels per 8

    SetLastError(0);
    EXPECT_EQ(GetDlgItem(d, 4242), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CONTROL_ID_NOT_FOUND));

    EXPECT_EQ(wm().Describe(d),
              "\"Tavarin Device Setup\"\n"
              "  button \"Close\" [disabled]\n"
              "  button \"Cancel\"\n"
              "  text \"Timeout\" [hidden]\n"
              "  image [bitmap 247]\n"
              "  text \"Instructions\"\n"
              "  image [icon 130]\n"
              "  group \"\"");

    // The uninstall dialog is hidden until shown; its Close is the default.
    HWND u = Create(131);
    EXPECT_FALSE(IsWindowVisible(u));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(u, 1010)));
    ShowWindow(u, SW_SHOW);
    EXPECT_NE(wm().Describe(u).find("  button \"Close\" [default]\n  edit \"\" [read-only] [hidden]"),
              std::string::npos);

    EXPECT_EQ(wm().OpenWindowCount(), 17u);
    EXPECT_TRUE(DestroyWindow(d));
    EXPECT_TRUE(DestroyWindow(u));
    EXPECT_FALSE(IsWindow(d));
    EXPECT_FALSE(IsWindow(close));
    EXPECT_EQ(wm().OpenWindowCount(), 0u);
    EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(Windows, CreationFailsWithoutTemplateOrWithABadOwner) {
    SetLastError(0);
    EXPECT_EQ(Create(999), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(CreateDialogParamA(nullptr, MAKEINTRESOURCEA(102), reinterpret_cast<HWND>(0x77), &TestProc, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(Transcript("failure"), (std::vector<std::string>{"0 CreateDialogParamA #999 -> error 1814",
                                                               "0 CreateDialogParamA window 0x77 -> error 1400"}));
    EXPECT_NE(CreateDialogParamA(GetModuleHandleA(nullptr), "#102", nullptr, &TestProc, 0), nullptr);
}

TEST_F(Windows, TranscriptFollowsWhatTheUserSees) {
    handler = [&](HWND d, UINT message, WPARAM, LPARAM) -> INT_PTR {
        // Changes before the dialog appears are part of its first picture.
        if (message == WM_INITDIALOG) SetDlgItemTextA(d, 1000, "Locating a device...");
        return FALSE;
    };
    HWND d = Create();
    machine.clock.AdvanceTo(500);
    SetDlgItemTextA(d, 1000, "The device driver\nis installed.");
    SetDlgItemTextA(d, 1000, "The device driver\nis installed.");  // no change, no entry
    EnableWindow(GetDlgItem(d, IDOK), TRUE);
    ShowWindow(GetDlgItem(d, 1002), SW_SHOW);
    DestroyWindow(d);
    const std::vector<std::string> expected = {
        "0 \"Tavarin Device Setup\"\n"
        "  button \"Close\" [disabled]\n"
        "  button \"Cancel\"\n"
        "  text \"Timeout\" [hidden]\n"
        "  image [bitmap 247]\n"
        "  text \"Locating a device...\"\n"
        "  image [icon 130]\n"
        "  group \"\"",
        "500 Instructions: \"The device driver\\nis installed.\"",
        "500 Close: enabled",
        "500 Timeout: shown",
        "500 \"Tavarin Device Setup\" closed",
    };
    EXPECT_EQ(Transcript("dialog"), expected);
}

TEST_F(Windows, StateChangesReportThePreviousState) {
    HWND d = Create();
    HWND close = GetDlgItem(d, IDOK);
    EXPECT_TRUE(EnableWindow(close, TRUE));    // it was disabled
    EXPECT_FALSE(EnableWindow(close, TRUE));   // it was enabled
    EXPECT_TRUE(ShowWindow(close, SW_HIDE));   // it was visible
    EXPECT_FALSE(ShowWindow(close, SW_SHOW));  // it was hidden
    ShowWindow(d, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(close));  // its parent is hidden
    EXPECT_EQ(GetWindowLongPtrA(close, GWL_STYLE) & WS_VISIBLE, WS_VISIBLE);
    EXPECT_EQ(SetWindowLongPtrA(d, DWLP_USER, 5), 0);
    EXPECT_EQ(GetWindowLongPtrA(d, DWLP_USER), 5);
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrA(close, DWLP_USER), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_INDEX));
}

TEST_F(Windows, DialogManagerDefaultsAndResultSlot) {
    handler = [&](HWND d, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_QUERYDRAGICON) return 0x1234;
        if (message == WM_DEVICECHANGE && wParam == DBT_DEVICEQUERYREMOVE) {
            SetWindowLongPtrA(d, DWLP_MSGRESULT, 0x424D5144);  // BROADCAST_QUERY_DENY
            return TRUE;
        }
        if (message == WM_USER) return TRUE;  // handled, result slot left at 0
        return FALSE;
    };
    HWND d = Create();
    EXPECT_EQ(SendMessageA(d, WM_QUERYDRAGICON, 0, 0), 0x1234);
    EXPECT_EQ(SendMessageA(d, WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, 0), 0x424D5144);
    EXPECT_EQ(SendMessageA(d, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0), TRUE);
    EXPECT_EQ(SendMessageA(d, WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_EQ(SendMessageA(d, WM_USER, 0, 0), 0);

    // WM_CLOSE becomes a click on Cancel, unless Cancel is disabled.
    MSG msg;
    SendMessageA(d, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(msg.wParam, MAKEWPARAM(IDCANCEL, BN_CLICKED));
    EXPECT_EQ(reinterpret_cast<HWND>(msg.lParam), GetDlgItem(d, IDCANCEL));
    EnableWindow(GetDlgItem(d, IDCANCEL), FALSE);
    SendMessageA(d, WM_CLOSE, 0, 0);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_COMMAND, WM_COMMAND, PM_REMOVE));
}

// ---- the message loop on the virtual clock -------------------------------------------------

TEST_F(Windows, TimersFireOnTheVirtualClockWithoutBacklog) {
    std::vector<std::pair<Millis, UINT_PTR>> ticks;
    Millis quitAt = 8000;
    std::function<void(HWND, UINT_PTR)> onTick;
    handler = [&](HWND d, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message != WM_TIMER) return FALSE;
        ticks.emplace_back(Now(), wParam);
        if (onTick) onTick(d, wParam);
        if (Now() >= quitAt) PostQuitMessage(0);
        return TRUE;
    };
    HWND d = Create();
    EXPECT_EQ(SetTimer(d, 1, 1000, nullptr), 1u);
    EXPECT_EQ(SetTimer(d, 2, 4000, nullptr), 2u);
    Run(d);
    const std::vector<std::pair<Millis, UINT_PTR>> both = {{1000, 1}, {2000, 1}, {3000, 1}, {4000, 1}, {4000, 2},
                                                           {5000, 1}, {6000, 1}, {7000, 1}, {8000, 1}};
    EXPECT_EQ(ticks, both);

    // Setting a timer again restarts its period.
    KillTimer(d, 2);
    ticks.clear();
    quitAt = Now() + 4500;
    onTick = [&](HWND w, UINT_PTR) {
        if (ticks.size() == 1) {
            Sleep(500);
            SetTimer(w, 1, 1000, nullptr);
        }
    };
    Run(d);
    const std::vector<std::pair<Millis, UINT_PTR>> restarted = {{9000, 1}, {10500, 1}, {11500, 1}, {12500, 1}};
    EXPECT_EQ(ticks, restarted);

    // After a long Sleep: one WM_TIMER, then the timer's own beat again.
    onTick = nullptr;
    ticks.clear();
    Sleep(10200);  // until 22700; the timer was due at 13500
    quitAt = 24500;
    Run(d);
    const std::vector<std::pair<Millis, UINT_PTR>> late = {{22700, 1}, {23500, 1}, {24500, 1}};
    EXPECT_EQ(ticks, late);

    DestroyWindow(d);
    EXPECT_EQ(wm().TimerCount(), 0u);
    SetLastError(0);
    EXPECT_FALSE(KillTimer(nullptr, 1));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(Windows, SentBeforePostedAndQuitAfterThem) {
    std::vector<std::string> seen;
    handler = [&](HWND, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_DEVICECHANGE) seen.push_back("device change " + std::to_string(wParam));
        return FALSE;
    };
    HWND d = Create();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);  // the first WM_PAINT
    PostMessageA(d, WM_USER + 1, 0, 0);
    wm().BroadcastDeviceChange(DBT_DEVNODES_CHANGED, 0);
    PostQuitMessage(5);
    PostMessageA(d, WM_USER + 2, 0, 0);
    EXPECT_TRUE(seen.empty());  // nothing is delivered until the tool asks for messages
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(seen, std::vector<std::string>{"device change 7"});
    EXPECT_EQ(msg.message, UINT(WM_USER + 1));
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, UINT(WM_USER + 2));
    // The quit request can be looked at and stays until removed.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Windows, MsgWaitReturnsForMessagesTimersAndTimeouts) {
    HWND d = Create();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 500, QS_ALLINPUT), DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(Now(), 500u);
    SetTimer(d, 1, 300, nullptr);
    EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(Now(), 800u);
    KillTimer(d, 1);
    PostMessageA(d, WM_USER, 0, 0);
    EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_TIMER), DWORD(WAIT_TIMEOUT));
    HANDLE bogus = reinterpret_cast<HANDLE>(0x4444);
    SetLastError(0);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &bogus, FALSE, INFINITE, QS_ALLINPUT), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

// ---- the keyboard and the mouse ------------------------------------------------------------

TEST_F(Windows, EnterAndEscapeFollowTheDialogManager) {
    std::vector<std::pair<Millis, WPARAM>> commands;
    handler = [&](HWND d, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (message == WM_TIMER) {
            EnableWindow(GetDlgItem(d, IDOK), TRUE);
            KillTimer(d, 1);
        }
        if (message != WM_COMMAND) return FALSE;
        commands.emplace_back(Now(), wParam);
        EXPECT_EQ(reinterpret_cast<HWND>(lParam), GetDlgItem(d, LOWORD(wParam)));
        if (LOWORD(wParam) == IDCANCEL) PostQuitMessage(0);
        return TRUE;
    };
    HWND d = Create();
    SetTimer(d, 1, 1500, nullptr);
    // Enter with the focus on Cancel goes to the default id, IDOK, whose
    // button is disabled at first: nothing happens.
    user().PressEnterAt(1000);
    user().PressEnterAt(2000);
    user().PressEscapeAt(3000);
    Run(d);
    const std::vector<std::pair<Millis, WPARAM>> expected = {{2000, MAKEWPARAM(IDOK, BN_CLICKED)},
                                                             {3000, MAKEWPARAM(IDCANCEL, BN_CLICKED)}};
    EXPECT_EQ(commands, expected);
}

TEST_F(Windows, EnterClicksTheFocusedDefaultButtonOrTheNewDefault) {
    std::vector<WPARAM> commands;
    handler = [&](HWND, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) return TRUE;
        if (message != WM_COMMAND) return FALSE;
        commands.push_back(wParam);
        if (commands.size() == 2) PostQuitMessage(0);
        return TRUE;
    };
    HWND u = Create(131);
    ShowWindow(u, SW_SHOW);
    EXPECT_EQ(GetFocus(), GetDlgItem(u, IDOK));
    user().PressEnterAt(1000);
    user().ClickAt(1500, "Remove");  // disabled: nothing
    machine.clock.Schedule(1800, [&] {
        EnableWindow(GetDlgItem(u, 1006), TRUE);
        SetFocus(nullptr);
        SendMessageA(u, DM_SETDEFID, 1006, 0);
    });
    user().PressEnterAt(2000);
    Run(u);
    EXPECT_EQ(commands, (std::vector<WPARAM>{MAKEWPARAM(IDOK, BN_CLICKED), MAKEWPARAM(1006, BN_CLICKED)}));
    EXPECT_EQ(SendMessageA(u, DM_GETDEFID, 0, 0), MAKELONG(1006, DC_HASDEFID));
    EXPECT_NE(wm().Describe(u).find("button \"Remove\" [default]"), std::string::npos);
}

TEST_F(Windows, ClicksReachOnlyEnabledVisibleControlsAndWaitForTheLoop) {
    std::vector<std::pair<Millis, WPARAM>> commands;
    handler = [&](HWND d, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_TIMER) {
            KillTimer(d, 1);
            Sleep(3000);  // busy, not pumping messages
        }
        if (message != WM_COMMAND) return FALSE;
        commands.emplace_back(Now(), wParam);
        PostQuitMessage(0);
        return TRUE;
    };
    HWND d = Create();
    SetTimer(d, 1, 500, nullptr);
    user().ClickAt(600, IDOK);       // disabled
    user().ClickAt(700, 1002);       // hidden
    user().ClickAt(1000, "Cancel");  // during the Sleep: waits in the queue
    Run(d);
    EXPECT_EQ(commands, (std::vector<std::pair<Millis, WPARAM>>{{3500, MAKEWPARAM(IDCANCEL, BN_CLICKED)}}));
    const std::vector<std::string> expected = {"600 click Close: nothing happens, disabled",
                                               "700 click Timeout: nothing happens, hidden", "1000 click Cancel"};
    EXPECT_EQ(Transcript("user"), expected);

    // BM_CLICK clicks only an enabled button.
    commands.clear();
    SendDlgItemMessageA(d, IDOK, BM_CLICK, 0, 0);
    EXPECT_TRUE(commands.empty());
    SendDlgItemMessageA(d, IDCANCEL, BM_CLICK, 0, 0);
    EXPECT_EQ(commands.size(), 1u);
}

// ---- message boxes -------------------------------------------------------------------------------

TEST_F(Windows, MessageBoxesTakeRulesPendingAnswersOrTheirDefault) {
    user().AnswerWhenTextContains("restarted", IDYES);
    user().AnswerWhenCaptionIs("Exit", IDNO);
    HWND d = Create();
    EXPECT_EQ(MessageBoxA(d, "Windows needs to be restarted", "System Restart", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBoxA(nullptr, "Leave?", "Exit", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "Proceed?", "Question", MB_YESNOCANCEL | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "Done.", nullptr, MB_OK | MB_DEFBUTTON3), IDOK);
    user().AnswerAt(10, "Retry");  // no box is open then: it answers the next one
    machine.clock.AdvanceTo(20);
    EXPECT_EQ(MessageBoxA(nullptr, "Failed.", "Oops", MB_RETRYCANCEL), IDRETRY);

    const auto& boxes = wm().MessageBoxes();
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[0].owner, d);
    EXPECT_EQ(boxes[0].caption, "System Restart");
    EXPECT_EQ(boxes[0].type, UINT(MB_YESNO));
    EXPECT_EQ(boxes[0].answeredBy, "rule");
    EXPECT_EQ(boxes[2].answeredBy, "default");
    EXPECT_EQ(boxes[3].caption, "Error");  // the caption Windows uses when none is given
    EXPECT_EQ(boxes[4].answeredBy, "script");
    EXPECT_EQ(boxes[4].opened, 20u);
    EXPECT_EQ(Transcript("msgbox")[4], "0 \"Question\" [Yes/No/Cancel, default No]: Proceed?");
    EXPECT_TRUE(IsWindowEnabled(d));

    SetLastError(0);
    EXPECT_EQ(MessageBoxA(reinterpret_cast<HWND>(0x99), "x", "y", MB_OK), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(wm().MessageBoxes().size(), 5u);
}

TEST_F(Windows, TimersKeepFiringWhileABoxWaitsForItsAnswer) {
    std::vector<std::pair<Millis, bool>> ticks;  // time, owner enabled
    int answer = 0;
    bool inBox = false;
    handler = [&](HWND d, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message != WM_TIMER) return FALSE;
        ticks.emplace_back(Now(), IsWindowEnabled(d) != FALSE);
        if (!inBox && ticks.size() == 1) {
            inBox = true;
            answer = MessageBoxA(d, "Do you still wish to exit?", "", MB_YESNO | MB_ICONQUESTION);
            inBox = false;
            PostQuitMessage(0);
        }
        return TRUE;
    };
    HWND d = Create();
    HWND focus = GetFocus();
    SetTimer(d, 1, 1000, nullptr);
    user().ClickAt(1500, "Cancel");  // the dialog is disabled under the box
    user().AnswerAt(3500, IDYES);
    Run(d);
    EXPECT_EQ(answer, IDYES);
    const std::vector<std::pair<Millis, bool>> expected = {{1000, true}, {2000, false}, {3000, false}};
    EXPECT_EQ(ticks, expected);
    EXPECT_TRUE(IsWindowEnabled(d));
    EXPECT_EQ(GetFocus(), focus);
    EXPECT_EQ(wm().MessageBoxes().at(0).closed, 3500u);
    EXPECT_EQ(Transcript("user")[0], "1500 click Cancel: nothing happens, its dialog is disabled");
}

TEST_F(Windows, KeysAnswerTheOpenBox) {
    user().PressEscapeAt(100);  // Yes/No has no Cancel: Escape does nothing
    user().PressEnterAt(200);
    EXPECT_EQ(MessageBoxA(nullptr, "Sure?", "Q", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(Now(), 200u);
    user().PressEscapeAt(300);
    EXPECT_EQ(MessageBoxA(nullptr, "Note", "Q", MB_OK), IDOK);
    EXPECT_EQ(wm().MessageBoxes().at(1).answeredBy, "Escape");
}

// ---- the end of the session --------------------------------------------------------------------

TEST_F(Windows, EndOfSessionIsRefusedByAnyWindowOrEndsTheProcess) {
    bool agree = false;
    std::vector<std::string> seen;
    handler = [&](HWND d, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_QUERYENDSESSION) {
            seen.push_back("query");
            SetWindowLongPtrA(d, DWLP_MSGRESULT, agree);
            return TRUE;
        }
        if (message == WM_ENDSESSION) seen.push_back(wParam ? "end" : "goes on");
        if (message == WM_TIMER) PostQuitMessage(0);
        return FALSE;
    };
    HWND d = Create();
    SetTimer(d, 1, 2000, nullptr);
    user().EndSessionAt(1000);
    Run(d);
    EXPECT_EQ(seen, std::vector<std::string>{"query"});
    EXPECT_EQ(Transcript("session").back(), "1000 end of session refused by \"Tavarin Device Setup\"");

    agree = true;
    seen.clear();
    user().EndSessionAt(3000);
    SetTimer(d, 1, 5000, nullptr);
    EXPECT_THROW(Run(d), sim::SessionEnded);
    EXPECT_EQ(seen, (std::vector<std::string>{"query", "end"}));
    EXPECT_TRUE(wm().SessionHasEnded());
    EXPECT_EQ(Transcript("session").back(), "3000 end of session accepted: WM_ENDSESSION sent");
}

// ---- stuck runs ----------------------------------------------------------------------------------

TEST_F(Windows, ALoopWithNothingToComeIsStuck) {
    HWND d = Create();
    SetDlgItemTextA(d, 1000, "Insert the device now.");
    try {
        Run(d);
        FAIL() << "the loop should be stuck";
    } catch (const sim::ScenarioStalled& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("nothing is left that could happen"), std::string::npos) << what;
        EXPECT_NE(what.find("\"Tavarin Device Setup\""), std::string::npos) << what;
        EXPECT_NE(what.find("text \"Insert the device now.\""), std::string::npos) << what;
    }
}

TEST_F(Windows, IdlingPastTheLimitWithNoUserActionLeftIsStuck) {
    handler = [&](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND) PostQuitMessage(0);
        return message == WM_TIMER;
    };
    HWND d = Create();
    SetTimer(d, 1, 1000, nullptr);
    // A user action three hours on keeps the run alive past the default limit.
    user().ClickAt(3 * 3600 * 1000, "Cancel");
    Run(d);
    EXPECT_EQ(Now(), 3u * 3600 * 1000);

    wm().SetIdleLimit(60 * 1000);
    EXPECT_THROW(Run(d), sim::ScenarioStalled);
    EXPECT_EQ(Now(), 3u * 3600 * 1000 + 60 * 1000);
}

// ---- resources, cursor, painting, other programs' windows ------------------------------------------

TEST_F(Windows, LoadStringCopiesAtMostSizeMinusOneAndTerminates) {
    char buffer[64];
    HINSTANCE self = GetModuleHandleA(nullptr);
    EXPECT_EQ(LoadStringA(self, 7, buffer, sizeof buffer), 14);
    EXPECT_STREQ(buffer, "System Restart");
    EXPECT_EQ(LoadStringA(nullptr, 7, buffer, 7), 6);
    EXPECT_STREQ(buffer, "System");
    SetLastError(0);
    buffer[0] = 'x';
    EXPECT_EQ(LoadStringA(self, 7, buffer, 1), 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(LoadStringA(self, 15, buffer, sizeof buffer), 0);  // missing, in an existing block
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(LoadStringA(self, 1000, buffer, sizeof buffer), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadStringA(self, 2, buffer, sizeof buffer), 60);
    EXPECT_STREQ(buffer, "The device driver for your \"%s\" has been properly installed.");
}

TEST_F(Windows, IconsCursorsAndBitmapsAreCountedUntilFreed) {
    HINSTANCE self = GetModuleHandleA(nullptr);
    HICON icon = LoadIconA(self, MAKEINTRESOURCEA(128));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(LoadIconA(self, MAKEINTRESOURCEA(128)), icon);  // shared
    SetLastError(0);
    EXPECT_EQ(LoadIconA(self, MAKEINTRESOURCEA(129)), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadCursorA(self, IDC_ARROW), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(LoadImageA(self, MAKEINTRESOURCEA(130), IMAGE_BITMAP, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));

    HANDLE small = LoadImageA(self, MAKEINTRESOURCEA(128), IMAGE_ICON, 16, 16, 0);
    HANDLE banner = LoadImageA(self, MAKEINTRESOURCEA(247), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR);
    ASSERT_NE(small, nullptr);
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(wm().LoadedImageCount(), 2u);
    EXPECT_FALSE(DeleteObject(small));  // not a bitmap
    EXPECT_TRUE(DestroyIcon(reinterpret_cast<HICON>(small)));
    EXPECT_TRUE(DeleteObject(banner));
    EXPECT_EQ(wm().LoadedImageCount(), 0u);
    SetLastError(0);
    EXPECT_FALSE(DestroyIcon(reinterpret_cast<HICON>(small)));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_CURSOR_HANDLE));

    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(SetCursor(wait), arrow);
    EXPECT_EQ(wm().CurrentCursor(), wait);
    EXPECT_EQ(SetCursor(arrow), wait);
}

TEST_F(Windows, AMinimisedDialogDrawsItsIconCentred) {
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128));
    int erased = 0;
    handler = [&](HWND d, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_ICONERASEBKGND) ++erased;
        if (message == WM_TIMER) PostQuitMessage(0);
        if (message != WM_PAINT || !IsIconic(d)) return FALSE;
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(d, &paint);
        SendMessageA(d, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT rect;
        GetClientRect(d, &rect);
        const int x = (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
        DrawIcon(dc, x, y, icon);
        EndPaint(d, &paint);
        return TRUE;
    };
    HWND d = Create();
    SetTimer(d, 1, 3000, nullptr);
    user().MinimiseAt(1000);
    user().ClickAt(1500, "Cancel");
    user().RestoreAt(2000);
    Run(d);
    ASSERT_EQ(wm().IconDrawings().size(), 1u);
    const sim::IconDrawing& drawn = wm().IconDrawings()[0];
    EXPECT_EQ(drawn.time, 1000u);
    EXPECT_EQ(drawn.window, d);
    EXPECT_EQ(drawn.x, 224);
    EXPECT_EQ(drawn.y, 120);
    EXPECT_EQ(drawn.resourceId, 128);
    EXPECT_EQ(erased, 1);
    EXPECT_FALSE(IsIconic(d));
    EXPECT_EQ(wm().OpenPaintCount(), 0u);
    EXPECT_EQ(Transcript("user")[1], "1500 click Cancel: nothing happens, its dialog is minimised");
    const auto dialog = Transcript("dialog");
    EXPECT_EQ(dialog[1], "1000 \"Tavarin Device Setup\" minimised");
    EXPECT_EQ(dialog[2], "2000 \"Tavarin Device Setup\" restored");
}

TEST_F(Windows, OtherProgramsWindowsAreFoundAndAnswer) {
    std::vector<UINT> received;
    HWND other = wm().AddForeignWindow("BoingoMain", "Boingo Wireless", [&](UINT message, WPARAM, LPARAM) -> LRESULT {
        received.push_back(message);
        return 77;
    });
    HWND d = Create();
    EXPECT_EQ(FindWindowA("boingomain", nullptr), other);
    EXPECT_EQ(FindWindowA(nullptr, "BOINGO WIRELESS"), other);
    EXPECT_EQ(FindWindowA("#32770", "Tavarin Device Setup"), d);
    EXPECT_EQ(SendMessageA(other, WM_CLOSE, 0, 0), 77);
    EXPECT_TRUE(PostMessageA(other, WM_USER, 0, 0));
    EXPECT_EQ(received, (std::vector<UINT>{WM_CLOSE, WM_USER}));
    EXPECT_EQ(Transcript("window").front(), "0 message 0x0010 to \"BoingoMain\" \"Boingo Wireless\": 77");
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(other));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Transcript("failure").back(), "0 DestroyWindow \"Boingo Wireless\" -> error 5");
    EXPECT_TRUE(wm().RemoveForeignWindow(other));
    EXPECT_EQ(FindWindowA("BoingoMain", nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_FALSE(IsWindow(other));
}

}  // namespace
