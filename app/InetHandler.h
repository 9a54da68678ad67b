// InetHandler: the program's one wrapper of the internet library dlv_inet2.dll, which supplies
// news and web-link items for the start window's menus. The library is loaded at run time from
// the program's folder; without it (or without one of its calls) there are simply no library
// items and every call below still succeeds or answers "nothing".
#pragma once
#include <windows.h>

#include <memory>
#include <vector>

#include "base/IconOwner.h"
#include "base/NString.h"

class InetHandler {
public:
    // Command id of a library item = its library id + kCommandOffset.
    static constexpr int kCommandOffset = 1111;
    // Library menu indexes and the main-menu positions they fill.
    static constexpr int kConfigurationMenu = 0;  // position 1
    static constexpr int kInternetMenu = 1;       // position 2
    static constexpr int kHelpMenu = 2;           // position 3

    InetHandler();                                  // dlv_inet2.dll beside the program
    explicit InetHandler(const wchar_t* libraryPath);  // another file (tests)
    ~InetHandler();
    InetHandler(const InetHandler&) = delete;
    InetHandler& operator=(const InetHandler&) = delete;

    // Loads and starts the library (at program start); true also without the library.
    bool Init();
    // Program end; the library was shut down with the start window already.
    bool OnAppShutDown();
    // The start window is going: forget its items and shut the library down.
    bool Shutdown();

    // Sets the handler up for the start window: the window that the library's items belong to and
    // that gets WM_CLOSE when the library asks the program to end. Answers whether the library
    // is present (the handler is set up either way).
    bool SetOwner(HWND owner);
    bool IsSetUp() const { return m_initialised != 0; }
    bool IsLibraryLoaded() const;
    bool IsCloseRequested() const { return m_closeRequested != 0; }

    // Fills the Internet, Configuration and Help submenus (positions 2, 1, 3) of the main menu.
    bool BuildMenus(HMENU mainMenu);
    // Inserts the items of one library menu at the top of the submenu; false on a failure inside.
    bool FillMenu(HMENU submenu, int libraryMenu);

    bool IsInetCommand(UINT commandId) const;
    // Hands a click on a library item to the library; true when the command was the library's.
    bool ProcessCommand(UINT commandId);
    // The item's icon, or null; the handler (or the library) keeps it.
    HICON GetCommandBitmap(UINT commandId) const;
    // Replaces the version text with the library's display version, when it has one.
    bool GetDisplayVersion(NString& text) const;
    // Opens one of the library's named web targets ("tutorials").
    bool OpenWebTarget(const wchar_t* name) const;

    // For tests: the command ids in the order inserted.
    const std::vector<int>& CommandIds() const { return m_commandIds; }

private:
    struct Library;

    int IndexOf(UINT commandId) const;
    void ClearItems();

    HWND m_owner;
    HWND m_ownerWindow;
    BYTE m_initialised;
    BYTE m_closeRequested;
    std::vector<int> m_commandIds;
    std::vector<HICON> m_icons;
    std::vector<IconOwner> m_madeIcons;  // the icons made here from the library's pictures
    NString m_libraryPath;
    std::unique_ptr<Library> m_library;
};

// The program's handler.
extern InetHandler g_DlvInetHandler;

// The Help menu's index command: opens the library's "tutorials" target, whatever the arguments.
bool OpenTutorials(const wchar_t* text, int flags);
