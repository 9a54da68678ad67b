// NLayeredButton: a clickable layered popup made of a skin icon strip (four frames stacked: normal,
// hover, pressed, disabled) and an antialiased text picture, which cross-fades between frames when
// the cursor comes and goes and posts WM_COMMAND(command id, 0) to a notify window when clicked.
#pragma once
#include <windows.h>

#include "base/GdiOwners.h"
#include "base/NString.h"
#include "imaging/NImageBuffer.h"
#include "ui/NWindow.h"

class NLayeredButton : public NWindow {
public:
    enum State { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };
    enum Layout { kIconLeft = 2, kIconAbove = 3 };

    NLayeredButton();
    ~NLayeredButton() override;

    // textStyle 1 plain, 2 with a shadow 3 pixels right and down in the outline colour.
    void Setup(HWND notify, int commandId, const wchar_t* iconName, const wchar_t* text, int textStyle, int fontSize,
               COLORREF textColour, COLORREF outlineColour, bool bold, bool italic, int layout);
    // The text picture: the text with its outline on a mask of its own coverage.
    void MakeTextPicture(int textStyle, int fontSize, COLORREF textColour, COLORREF outlineColour, bool bold,
                         bool italic);
    // A disabled button shows its fourth frame, the text faint, and takes no clicks.
    void SetDisabled(bool disabled);

    void PreCreateWindow(CREATESTRUCTW& cs) override;
    void OnCreated() override;
    void OnDestroy(WPARAM wParam, LPARAM lParam) override;
    LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Draws the button with the global alpha; false without a window or with a client area
    // outside 5..10000 x 5..5000.
    bool UpdateLayered(int alpha);
    void DrawFrames(HDC dc, int frameAlpha, int textAlpha);

    int GetState() const { return m_state; }
    int GetFadeAlpha() const { return m_fadeAlpha; }
    bool IsHovering() const { return m_hover; }
    const NImageBuffer& GetTextPicture() const { return m_textPicture; }
    const NImageBuffer& GetIconStrip() const { return m_iconStrip; }

private:
    void DrawFrame(HDC dc, int frame, int frameAlpha, int textAlpha);

    bool m_hover = false;
    bool m_previousHover = false;
    FontOwner m_font;
    int m_textStyle = 1;
    int m_fontSize = 10;
    COLORREF m_textColour = 0;
    COLORREF m_outlineColour = 0;
    NString m_text;
    NImageBuffer m_textPicture;
    SIZE m_textSize = {};
    int m_layout = kIconLeft;
    NString m_iconName;
    NImageBuffer m_iconStrip;
    int m_state = kNormal;
    HCURSOR m_cursor = nullptr;
    HWND m_notify = nullptr;
    int m_commandId = 0;
    int m_fadeTarget = 0;
    int m_fadeAlpha = 0;
};
