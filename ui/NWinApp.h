// NWinApp: the one application object of the window framework, reached through NGetApp.
//
// It owns what all windows of the process share: the map from window handles to window objects
// (the only way the framework finds the object behind a handle), one NThreadData record per thread
// that builds windows, the skin manager, the language table, the module instance, the accelerator
// table, the main window and the application's name. Only the first application object made registers itself;
// a second one stays inert for its whole life.
#pragma once
#include <windows.h>

#include <map>
#include <vector>

#include "base/NString.h"
#include "ui/NLanguage.h"
#include "ui/NSkin.h"

class NWindow;
class NMenuBar;

// Per-thread state of window creation and menu tracking, zero when made.
struct NThreadData {
    NWindow* creatingWindow;  // the object the creation hook binds to the next window made
    HHOOK creationHook;       // the thread's WH_CBT hook while a creation is pending
    NMenuBar* menuBar;        // the thread's menu bar
    HHOOK menuFilterHook;     // the thread's WH_MSGFILTER hook while a menu is tracked
};

using NWindowMap = std::map<HWND, NWindow*>;

class NWinApp {
public:
    // accelerators: resource id of an accelerator table in the instance, 0 for none.
    NWinApp(HINSTANCE instance, WORD accelerators, NString name);
    virtual ~NWinApp();
    NWinApp(const NWinApp&) = delete;
    NWinApp& operator=(const NWinApp&) = delete;

    virtual NWindow* GetMainWindow();
    virtual void SetMainWindow(NWindow* window);
    virtual HINSTANCE GetInstance();
    // The skin manager; the application loads its skin once at start-up.
    virtual NSkin* GetSkin();
    virtual NLanguage* GetLanguage();
    virtual NString GetAppName();
    virtual HACCEL GetAccelerators();
    // The folder of the program file; "" when its name cannot be had.
    virtual NString GetModuleDir();
    // The map itself; callers hold the map lock (LockMap) while they use it.
    virtual NWindowMap& GetWindowMap();
    virtual DWORD GetTlsIndex();
    // A plain message loop: answers the exit code of WM_QUIT, or -1 when GetMessageW fails.
    virtual int Run();
    // One message of the loop: the main window's accelerators first, then translated and
    // dispatched.
    void DispatchAppMessage(MSG& msg);
    // The calling thread's record, made on first use.
    virtual NThreadData* GetThreadData();

    bool IsRegistered() const { return m_registered; }

    // The object bound to the handle; null for a handle that is not a window or has no object.
    NWindow* FindWindowObject(HWND window);

    // The map lock guards every lookup and edit of the window map.
    void LockMap() { EnterCriticalSection(&m_mapLock); }
    void UnlockMap() { LeaveCriticalSection(&m_mapLock); }
    // Map edits, each under the lock. Binding keeps an existing entry of the handle (the first
    // binding wins); Unbind removes every entry of the object; UnbindHandle the handle's entry.
    void BindWindow(HWND window, NWindow* object);
    void UnbindWindow(NWindow* object);
    void UnbindHandle(HWND window);

private:
    CRITICAL_SECTION m_mapLock;
    HACCEL m_accelerators;
    HINSTANCE m_instance;
    bool m_registered;
    NWindow* m_mainWindow;
    NWindowMap m_windowMap;
    std::vector<NThreadData*> m_threadRecords;
    NSkin m_skin;
    NLanguage m_language;
    NString m_appName;
};

// The registered application object, or null before it is made and after it is destroyed.
NWinApp* NGetApp();
// The application object's module instance; without an application object, the program's.
HINSTANCE NGetAppInstance();

// Holds the application's map lock for a scope; does nothing without an application object.
class NWindowMapLock {
public:
    explicit NWindowMapLock(NWinApp* app) : m_app(app)
    {
        if (m_app)
            m_app->LockMap();
    }
    ~NWindowMapLock()
    {
        if (m_app)
            m_app->UnlockMap();
    }
    NWindowMapLock(const NWindowMapLock&) = delete;
    NWindowMapLock& operator=(const NWindowMapLock&) = delete;

private:
    NWinApp* m_app;
};
