// Shared set-up of the skinned-control tests: an application with a small test skin whose colours
// and pictures are easy to find in captures, and the controls dialog shown modelessly.
#pragma once
#include <windows.h>

#include <functional>
#include <vector>

#include "SkinTestSupport.h"
#include "UiTestSupport.h"
#include "ui/NDialog.h"
#include "ui/NWinApp.h"

// Colours of the test skin.
namespace ctl {
constexpr COLORREF kFill = RGB(255, 255, 0);      // AppWindowBackColor
constexpr COLORREF kRow[5] = {RGB(200, 0, 0), RGB(0, 200, 0), RGB(0, 0, 200), RGB(0, 200, 200), RGB(200, 0, 200)};
constexpr COLORREF kTextDefault = RGB(0, 0, 0);
constexpr COLORREF kTextHilight = RGB(255, 255, 255);
constexpr COLORREF kTextDisabled = RGB(255, 128, 0);
constexpr COLORREF kStaticText = RGB(10, 20, 30);
constexpr COLORREF kCheckOff = RGB(120, 0, 0);
constexpr COLORREF kCheckOn = RGB(0, 120, 0);
constexpr COLORREF kHeadTop = RGB(250, 250, 250);
constexpr COLORREF kHeadBottom = RGB(150, 150, 150);
constexpr COLORREF kHeadText = RGB(255, 0, 0);
constexpr COLORREF kHeadBorder = RGB(0, 0, 255);
constexpr COLORREF kMenuBorder = RGB(0, 128, 255);
}  // namespace ctl

// The controls dialog; records the clicks its controls report.
class ControlsDialog : public NDialog {
public:
    ControlsDialog();
    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    int OnOK() override { return 1; }      // the tests close it themselves
    int OnCancel() override { return 1; }

    // Runs for every BN_CLICKED with the control id.
    std::function<void(int)> onClicked;
    std::vector<int> clicks;
};

class ControlsTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    HWND Item(int id) const { return GetDlgItem(dialog_, id); }
    // Shows the dialog and lets it paint.
    void Show();

    NWinApp app_{GetModuleHandleW(nullptr), 0, NString(L"ControlsTest")};
    SkinFolder folder_{L"SkinCtl"};
    ControlsDialog dialog;
    HWND dialog_ = nullptr;
};
