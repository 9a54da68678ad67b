#include "ui/NWinApp.h"

#include <atomic>

#include "imagefile/LibraryTexts.h"
#include "ui/NWinException.h"
#include "ui/NWindow.h"

namespace {
std::atomic<NWinApp*> g_app{nullptr};
std::atomic<DWORD> g_tlsIndex{TLS_OUT_OF_INDEXES};
}  // namespace

NWinApp* NGetApp()
{
    return g_app.load();
}

HINSTANCE NGetAppInstance()
{
    NWinApp* app = NGetApp();
    return app ? app->GetInstance() : GetModuleHandleW(nullptr);
}

NWinApp::NWinApp(HINSTANCE instance, WORD accelerators, NString name)
    : m_accelerators(nullptr), m_instance(instance), m_registered(false), m_mainWindow(nullptr)
{
    InitializeCriticalSection(&m_mapLock);
    try {
        if (g_app.load())
            throw NWinException(L"Error!  An instance of NWinApp (or a class derived from NWinApp) is already running");
        const DWORD index = TlsAlloc();
        if (index == TLS_OUT_OF_INDEXES)
            throw NWinException(L"NWinApp::NWinApp  Failed to allocate TLS Index");
        g_tlsIndex = index;
        g_app = this;
        m_registered = true;
        m_appName = name;
        // The image library takes its display texts from the application's table.
        SetLibraryTextSource(&m_language);
        if (accelerators != 0)
            m_accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(accelerators));
    } catch (const NWinException& error) {
        ReportWinException(error);
    }
}

NWinApp::~NWinApp()
{
    if (m_registered) {
        // Handlers of the windows destroyed here are still found through the map; a window's entry
        // leaves the map when the window dies, so the walk goes over a copy of the handles.
        std::vector<HWND> handles;
        handles.reserve(m_windowMap.size());
        for (const auto& entry : m_windowMap)
            handles.push_back(entry.first);
        for (HWND window : handles) {
            if (IsWindow(window))
                DestroyWindow(window);
        }
        m_windowMap.clear();
    }
    // Records are freed once no handler can ask for them any more.
    for (NThreadData* record : m_threadRecords)
        delete record;
    m_threadRecords.clear();
    if (m_registered) {
        const DWORD index = g_tlsIndex.load();
        if (index != TLS_OUT_OF_INDEXES) {
            TlsSetValue(index, nullptr);
            TlsFree(index);
            g_tlsIndex = TLS_OUT_OF_INDEXES;
        }
        if (GetLibraryTextSource() == &m_language)
            SetLibraryTextSource(nullptr);
        g_app = nullptr;
    }
    DeleteCriticalSection(&m_mapLock);
}

NWindow* NWinApp::GetMainWindow()
{
    return m_mainWindow;
}

void NWinApp::SetMainWindow(NWindow* window)
{
    m_mainWindow = window;
}

HINSTANCE NWinApp::GetInstance()
{
    return m_instance;
}

NLanguage* NWinApp::GetLanguage()
{
    return &m_language;
}

NString NWinApp::GetAppName()
{
    return m_appName;
}

HACCEL NWinApp::GetAccelerators()
{
    return m_accelerators;
}

NString NWinApp::GetModuleDir()
{
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return NString(L"");
    NString folder(path);
    const int slash = folder.ReverseFind(L'\\');
    return slash >= 0 ? folder.Left(slash) : NString(L"");
}

NSkin* NWinApp::GetSkin()
{
    return &m_skin;
}

NWindowMap& NWinApp::GetWindowMap()
{
    return m_windowMap;
}

DWORD NWinApp::GetTlsIndex()
{
    return g_tlsIndex.load();
}

int NWinApp::Run()
{
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0)
            return LOWORD(msg.wParam);
        if (got == -1)
            return -1;
        DispatchAppMessage(msg);
    }
}

void NWinApp::DispatchAppMessage(MSG& msg)
{
    NWindow* main = GetMainWindow();
    HWND mainWindow = main ? main->GetHwnd() : nullptr;
    HACCEL accelerators = GetAccelerators();
    if (mainWindow && accelerators && TranslateAcceleratorW(mainWindow, accelerators, &msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

NThreadData* NWinApp::GetThreadData()
{
    const DWORD index = g_tlsIndex.load();
    if (!m_registered || index == TLS_OUT_OF_INDEXES)
        return nullptr;
    if (auto* record = static_cast<NThreadData*>(TlsGetValue(index)))
        return record;
    auto* record = new NThreadData{};
    TlsSetValue(index, record);
    LockMap();
    m_threadRecords.push_back(record);
    UnlockMap();
    return record;
}

NWindow* NWinApp::FindWindowObject(HWND window)
{
    if (!window || !IsWindow(window))
        return nullptr;
    NWindowMapLock lock(this);
    auto it = m_windowMap.find(window);
    return it != m_windowMap.end() ? it->second : nullptr;
}

void NWinApp::BindWindow(HWND window, NWindow* object)
{
    if (!window || !object)
        return;
    NWindowMapLock lock(this);
    m_windowMap.emplace(window, object);
}

void NWinApp::UnbindWindow(NWindow* object)
{
    NWindowMapLock lock(this);
    for (auto it = m_windowMap.begin(); it != m_windowMap.end();) {
        if (it->second == object)
            it = m_windowMap.erase(it);
        else
            ++it;
    }
}

void NWinApp::UnbindHandle(HWND window)
{
    NWindowMapLock lock(this);
    m_windowMap.erase(window);
}
