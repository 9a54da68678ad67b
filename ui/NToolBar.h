// NToolBar: the common-controls tool bar painted in the skin's tool-bar colours, fonts and pictures
// through NM_CUSTOMDRAW. Button texts are registered with the control once per distinct text. The
// menu bar builds on it.
#pragma once
#include <windows.h>

#include <commctrl.h>

#include <map>
#include <string>

#include "base/GdiOwners.h"
#include "base/IconOwner.h"
#include "imaging/NImageBuffer.h"
#include "ui/NWindow.h"

class NToolBar : public NWindow {
public:
    NToolBar();
    ~NToolBar() override;

    LRESULT OnNotifyReflect(WPARAM wParam, NMHDR* header) override;
    void PreCreateWindow(CREATESTRUCTW& cs) override;
    void OnCreate() override;
    void OnDestroy(WPARAM wParam, LPARAM lParam) override;
    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    virtual LRESULT CommandToIndex(int id);
    virtual LRESULT DisableButton(int id);
    virtual LRESULT EnableButton(int id, bool enable);
    virtual LRESULT HideButton(int id, bool hide);
    virtual LRESULT PressButton(int id, bool press);
    virtual void SetCustomDraw(bool on);
    virtual void SetSkinPictures(bool on);
    virtual void SetCornerRadius(int radius);
    // Reads the nine text colours and shadow styles under keys starting with prefix.
    virtual bool LoadTextColors(const wchar_t* prefix);
    virtual LRESULT GetButtonCount();
    virtual int GetButtonState(int id);
    virtual int GetButtonStyle(int id);
    virtual int GetCommandID(int index);
    virtual LRESULT GetItemRect(int index, RECT* rect);
    // Index of the button under the cursor, -1 when none.
    virtual int HitTestCursor();
    // Replaces the buttons: id 0 makes a separator, any other id an image button.
    virtual bool SetButtons(const int* ids, int count);
    virtual void SetButtonSize(int cx, int cy);
    virtual LRESULT SetButtonState(int id, int state);
    virtual bool SetButtonStyle(int id, int style);
    // The text (at most 78 characters) is registered once and shared by buttons with the same text.
    virtual bool SetButtonText(int id, const wchar_t* text);
    virtual bool SetCommandID(int index, int id);
    virtual bool SetImageList(int count, COLORREF mask, NImageBuffer* normal, NImageBuffer* hot,
                              NImageBuffer* disabled);
    virtual void SetListStyle(bool on);
    virtual void CustomDraw(NMCUSTOMDRAW* draw, LRESULT* result);

    size_t GetRegisteredTextCount() const { return m_textIndex.size(); }
    int GetImageOfPosition(int position) const;
    bool IsCustomDraw() const { return m_customDraw; }
    int GetCornerRadius() const { return m_cornerRadius; }
    int GetShadowStyle(int state) const;  // 0 selected, 1 hover, 2 normal

protected:
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // Reads an integer of the skin's section (default as given).
    static int SkinInt(const wchar_t* key, int fallback);
    // A font on the system menu font: size in points from sizeKey (default 16), weight 600 when
    // boldKey is 1, italic and underline when their keys are 1 (a missing key is 0).
    static HFONT MakeFont(const wchar_t* sizeKey, const wchar_t* boldKey, const wchar_t* italicKey,
                          const wchar_t* underlineKey);
    void DrawButtonText(HDC dc, const wchar_t* text, RECT rect, int shadowStyle, COLORREF shadow, COLORREF colour);

    ImageListOwner m_normalImages;
    ImageListOwner m_hotImages;
    ImageListOwner m_disabledImages;
    std::map<std::wstring, int> m_textIndex;
    bool m_customDraw;
    bool m_skinPictures;
    int m_cornerRadius;
    int m_selectedShadowStyle, m_hoverShadowStyle, m_normalShadowStyle;
    COLORREF m_selectedShadowColour, m_selectedTextColour, m_hoverShadowColour, m_hoverTextColour,
        m_normalShadowColour, m_normalTextColour;
    FontOwner m_normalFont;
    FontOwner m_selectedFont;
    std::map<int, int> m_imageMap;
};
