// NMenuBar: a window menu shown as a skinned bar inside a dialog. Every top-level item becomes a
// drop-down button of a tool bar; the popups are tracked with TrackPopupMenuEx and their items are
// owner-drawn by the bar in the skin's menu colours, fonts and icon strips. While a popup is open a
// thread message-filter hook feeds the popup's messages to the bar, so that the bar behaves like a
// system menu bar: Left and Right or the mouse switch popups, Esc returns to the bar in keyboard
// mode, and Alt, F10, mnemonics and the arrow keys work on the bar itself.
// NMenuBar.cpp holds its set-up, menu and messages; NMenuBarTracking.cpp the menu mode, popup
// tracking and keyboard; NMenuBarPainting.cpp the drawing of titles and items.
#pragma once
#include <windows.h>

#include "base/GdiOwners.h"
#include "imaging/NImageBuffer.h"
#include "ui/NToolBar.h"

// Where a popup item's label and shortcut text go.
struct MenuItemTextLayout {
    RECT label;
    UINT labelFormat;
    RECT shortcut;
    UINT shortcutFormat;
};
// item: the item's rectangle; rightToLeft: the language runs right to left.
MenuItemTextLayout LayOutMenuItemText(const RECT& item, bool hasShortcut, bool rightToLeft);

class NMenuBar : public NToolBar {
public:
    static constexpr UINT kOpenPopupMessage = WM_APP + 2;

    NMenuBar();
    ~NMenuBar() override;

    LRESULT OnNotifyReflect(WPARAM wParam, NMHDR* header) override;
    void PreCreateWindow(CREATESTRUCTW& cs) override;
    void OnCreate() override;
    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void CustomDraw(NMCUSTOMDRAW* draw, LRESULT* result) override;

    virtual HMENU GetMenu();
    virtual void SetMenuHandle(HMENU menu);
    virtual void OnMenuChar(wchar_t key);
    virtual void OnSysCommand(UINT command, wchar_t key);
    virtual void SetMenu();
    virtual void EnableItem(UINT id, bool enable);
    virtual void CheckItem(UINT id, bool check);
    virtual bool IsItemGrayed(UINT id);
    virtual bool HasItem(UINT id);
    virtual BOOL TrackPopup(HMENU popup, int x, int y, UINT flags);
    virtual bool LoadPictures();
    virtual bool FreePictures();
    virtual void SetCornerPicture(const NImageBuffer& picture);
    virtual void OnPostPaint(HDC dc);
    virtual int OpenByMnemonic(wchar_t key);
    virtual void OpenPopup();
    virtual bool DrawMenuItem(DRAWITEMSTRUCT* item, HMENU menu, UINT id, int iconIndex);
    virtual void EndMenuMode();
    virtual void EnterMenuMode();
    virtual void OnKeyDown(UINT key);
    virtual void OnLButtonDown();
    virtual void OnLButtonUp();
    virtual void OnMouseMove();
    // A message of an open popup's loop; true eats it.
    virtual bool FilterMenuMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnMeasureItem(HWND window, MEASUREITEMSTRUCT* item, HMENU menu);
    virtual void OnDrawItem(DRAWITEMSTRUCT* item, HMENU menu);
    virtual void OnWindowPosChanged();
    virtual void OnInitMenuPopup();
    virtual void ReleaseMenuCapture();
    virtual void SetHotItem(int index);
    virtual bool CreateFonts();
    virtual bool DeleteFonts();

    static LRESULT CALLBACK MsgFilterProc(int code, WPARAM wParam, LPARAM lParam);
    // A message-filter hook an owner may install: a double click in a menu while the thread has a
    // menu bar posts the main window its system menu's default command (as a double click on a
    // window icon would).
    static LRESULT CALLBACK DoubleClickFilterProc(int code, WPARAM wParam, LPARAM lParam);

    int GetHotIndex() const { return m_hotIndex; }
    int GetItemCount() const { return m_itemCount; }
    bool IsKeyboardMode() const { return m_keyboardMode != 0; }
    bool IsPopupOpen() const { return m_popupOpen != 0; }
    HMENU GetCurrentPopup() const { return m_currentPopup; }
    HMENU GetSelectedMenu() const { return m_selectedMenu; }
    bool IsSubmenuSelected() const { return m_submenuSelected != 0; }

protected:
    // MessageBeep for a key that is no title's mnemonic; tests count it.
    virtual void Beep();
    void InstallFilterHook();
    void RemoveFilterHook();

    HICON m_itemIcon;  // not owned: the application's icon of the item being drawn
    NImageBuffer m_cornerPicture;
    int m_exitEndsMode;
    int m_keyboardMode;
    int m_popupOpen;
    int m_submenuSelected;
    HMENU m_currentPopup;
    HMENU m_selectedMenu;
    HMENU m_menu;
    HWND m_savedFocus;
    int m_hotIndex;
    int m_itemCount;
    POINT m_cursor;
    bool m_contextPopup;
    FontOwner m_itemFont, m_selectedItemFont, m_titleFont, m_selectedTitleFont;
    NImageBuffer m_hotIcons;
    NImageBuffer m_coldIcons;
};
