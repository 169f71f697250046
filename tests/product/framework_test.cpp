// The dialog framework (CWinApp, CDialog, AfxMessageBox) running on the
// emulator, with a test dialog on the install template that records which
// of its virtual functions run.
#include "platform/framework/framework.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/machine/machine.h"
#include "sim/scenario/user_script.h"
#include "sim/machine/window_manager.h"
#include "ui/res/resource.h"

namespace {

class TestDialog : public CDialog {
public:
    explicit TestDialog(UINT templateId = IDD_INSTALL) : CDialog(templateId) {}

    std::vector<std::string> calls;
    std::function<void(TestDialog&)> onInit;
    std::function<void(TestDialog&, UINT_PTR)> onTimer;
    BOOL agreeToEndSession = TRUE;

    BOOL DestroyWindow() override {
        calls.push_back("DestroyWindow");
        return CDialog::DestroyWindow();
    }
    BOOL OnInitDialog() override {
        calls.push_back("OnInitDialog");
        CDialog::OnInitDialog();
        if (onInit) onInit(*this);
        return TRUE;
    }
    void OnOK() override {
        calls.push_back("OnOK");
        CDialog::OnOK();
    }
    void OnCancel() override {
        calls.push_back("OnCancel");
        CDialog::OnCancel();
    }
    void OnTimer(UINT_PTR id) override {
        calls.push_back("OnTimer " + std::to_string(id));
        if (onTimer) onTimer(*this, id);
    }
    BOOL OnQueryEndSession() override {
        calls.push_back("OnQueryEndSession");
        return agreeToEndSession;
    }

    using CDialog::EnableItem;
    using CDialog::StartTimer;
    using CDialog::StopTimer;
};

class TestApp : public CWinApp {
public:
    std::function<BOOL(TestApp&)> init;
    BOOL InitInstance() override { return init ? init(*this) : FALSE; }
};

class Framework : public testing::Test {
protected:
    sim::WindowManager& wm() { return machine.windows(); }
    sim::UserScript& user() { return machine.windows().User(); }

    sim::Machine machine;
    sim::MachineScope scope{machine};
};

TEST_F(Framework, DoModalReturnsTheEndDialogValueAndDestroysOnce) {
    TestDialog dialog;
    dialog.onInit = [](TestDialog& d) { d.StartTimer(1, 1000); };
    dialog.onTimer = [](TestDialog& d, UINT_PTR id) {
        d.StopTimer(id);
        d.EndDialog(42);
    };
    EXPECT_EQ(dialog.DoModal(), 42);
    EXPECT_EQ(dialog.calls, (std::vector<std::string>{"OnInitDialog", "OnTimer 1", "DestroyWindow"}));
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
    EXPECT_EQ(machine.clock.Now(), 1000u);
    EXPECT_EQ(wm().OpenWindowCount(), 0u);
    EXPECT_EQ(wm().TimerCount(), 0u);
    const auto shown = machine.transcript.OfKind("dialog");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, "\"Tavarin Device Setup\" closed");
    EXPECT_EQ(shown[1].time, 1000u);
}

TEST_F(Framework, ButtonsAndKeysReachOnOkAndOnCancel) {
    TestDialog first;
    user().ClickAt(500, "Close");  // disabled: nothing happens
    user().ClickAt(800, "Cancel");
    EXPECT_EQ(first.DoModal(), IDCANCEL);
    EXPECT_EQ(first.calls, (std::vector<std::string>{"OnInitDialog", "OnCancel", "DestroyWindow"}));

    TestDialog second;
    second.onInit = [](TestDialog& d) { d.EnableItem(IDOK, TRUE); };
    user().PressEnterAt(1000);
    EXPECT_EQ(second.DoModal(), IDOK);
    EXPECT_EQ(second.calls, (std::vector<std::string>{"OnInitDialog", "OnOK", "DestroyWindow"}));

    TestDialog third;
    user().PressEscapeAt(1500);
    EXPECT_EQ(third.DoModal(), IDCANCEL);

    TestDialog missing(999);
    EXPECT_EQ(missing.DoModal(), -1);
    EXPECT_TRUE(missing.calls.empty());
}

TEST_F(Framework, QuitEndsTheModalLoopAndStaysForTheCaller) {
    TestDialog dialog;
    dialog.onInit = [](TestDialog& d) { d.StartTimer(1, 200); };
    dialog.onTimer = [](TestDialog&, UINT_PTR) { PostQuitMessage(7); };
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_EQ(dialog.calls, (std::vector<std::string>{"OnInitDialog", "OnTimer 1", "DestroyWindow"}));
    MSG msg;
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_EQ(wm().OpenWindowCount(), 0u);
}

TEST_F(Framework, AfxMessageBoxIsOwnedByTheMainWindowUnderTheProgramName) {
    TestApp app;
    TestDialog dialog;
    HWND owner = nullptr;
    int answer = 0;
    app.init = [&](TestApp& a) {
        a.m_pMainWnd = &dialog;
        dialog.DoModal();
        a.m_pMainWnd = nullptr;
        PostQuitMessage(3);
        return TRUE;
    };
    dialog.onInit = [](TestDialog& d) { d.StartTimer(1, 100); };
    dialog.onTimer = [&](TestDialog& d, UINT_PTR id) {
        d.StopTimer(id);
        owner = d.GetSafeHwnd();
        answer = AfxMessageBox("The device was not properly installed. Exit?", MB_YESNO);
        d.EndDialog(IDCANCEL);
    };
    user().AnswerAt(2000, "Yes");
    // The exit code is that of the last WM_QUIT.
    EXPECT_EQ(AfxWinMain(GetModuleHandleA(nullptr), "/install"), 3);
    EXPECT_STREQ(app.AppTitle(), "tavsetup");
    EXPECT_STREQ(app.m_lpCmdLine, "/install");
    EXPECT_EQ(answer, IDYES);
    ASSERT_EQ(wm().MessageBoxes().size(), 1u);
    const sim::MessageBoxRecord& box = wm().MessageBoxes()[0];
    EXPECT_EQ(box.caption, "tavsetup");
    EXPECT_EQ(box.owner, owner);
    EXPECT_EQ(box.type, UINT(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(box.opened, 100u);
    EXPECT_EQ(box.closed, 2000u);
}

TEST_F(Framework, EndOfSessionAsksTheDialog) {
    TestDialog dialog;
    dialog.agreeToEndSession = FALSE;
    dialog.onInit = [](TestDialog& d) { d.StartTimer(1, 1000); };
    dialog.onTimer = [](TestDialog& d, UINT_PTR) { d.EndDialog(IDOK); };
    user().EndSessionAt(500);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.calls,
              (std::vector<std::string>{"OnInitDialog", "OnQueryEndSession", "OnTimer 1", "DestroyWindow"}));
    EXPECT_EQ(machine.transcript.OfKind("session").back().text, "end of session refused by \"Tavarin Device Setup\"");

    TestDialog agreeing;
    user().EndSessionAt(1500);
    EXPECT_THROW(agreeing.DoModal(), sim::SessionEnded);
    EXPECT_EQ(agreeing.calls, (std::vector<std::string>{"OnInitDialog", "OnQueryEndSession"}));
}

}  // namespace
