#include "app/InetHandler.h"

#include <algorithm>

#include "app/AppSettings.h"
#include "base/ExePath.h"
#include "imagefile/ImageFactory.h"
#include "imaging/NImageBuffer.h"

InetHandler g_DlvInetHandler;

namespace {

constexpr const wchar_t* kLibraryName = L"dlv_inet2.dll";
constexpr int kApiVersion = 2;

// The library answers these from a click when the program is to end.
constexpr int kAnswerClose = 1;
constexpr int kAnswerCloseAlso = 7;

using InitFn = int(WINAPI*)(int);
using ShutdownFn = int(WINAPI*)(HWND);
using SetLangFn = int(WINAPI*)(const wchar_t*);
using DisplayVersionFn = wchar_t*(WINAPI*)(const wchar_t*);
using CountFn = int(WINAPI*)(int);
using IdFn = int(WINAPI*)(int, int);
using TextFn = wchar_t*(WINAPI*)(int);
using IconFn = HICON(WINAPI*)(int);
using ProcessFn = int(WINAPI*)(HWND, int);
using OpenTargetFn = int(WINAPI*)(const wchar_t*);
using FreeFn = void(WINAPI*)(wchar_t*);

template <typename Fn>
Fn Export(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

void Trace(const wchar_t* text)
{
    OutputDebugStringW(text);
}

}  // namespace

struct InetHandler::Library {
    HMODULE module = nullptr;
    InitFn init = nullptr;
    ShutdownFn shutdown = nullptr;
    SetLangFn setLang = nullptr;
    DisplayVersionFn displayVersion = nullptr;
    CountFn count = nullptr;
    IdFn itemId = nullptr;
    TextFn itemText = nullptr;
    TextFn itemPng = nullptr;
    IconFn itemIcon = nullptr;
    ProcessFn process = nullptr;
    OpenTargetFn openTarget = nullptr;
    FreeFn freeString = nullptr;

    ~Library()
    {
        if (module)
            FreeLibrary(module);
    }

    // Null when the file is missing or lacks one of the calls.
    static std::unique_ptr<Library> Load(const wchar_t* path)
    {
        HMODULE module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (!module)
            return nullptr;
        auto library = std::make_unique<Library>();
        library->module = module;
        library->init = Export<InitFn>(module, "dinet_Init");
        library->shutdown = Export<ShutdownFn>(module, "dinet_Shutdown");
        library->setLang = Export<SetLangFn>(module, "dinet_SetProductLang");
        library->displayVersion = Export<DisplayVersionFn>(module, "dinet_GetProductDisplayVersion");
        library->count = Export<CountFn>(module, "dinet_GetMenuItemsCount");
        library->itemId = Export<IdFn>(module, "dinet_GetMenuItemsID");
        library->itemText = Export<TextFn>(module, "dinet_GetMenuItemsTextByMenuID");
        library->itemPng = Export<TextFn>(module, "dinet_GetMenuItemsImagePNGByID");
        library->itemIcon = Export<IconFn>(module, "dinet_GetMenuItemsImageByID");
        library->process = Export<ProcessFn>(module, "dinet_ProcessMenuItem");
        library->openTarget = Export<OpenTargetFn>(module, "dinet_OpenWebTargetInBrowser");
        library->freeString = Export<FreeFn>(module, "dinet_FreeWideString");
        if (!library->init || !library->shutdown || !library->setLang || !library->displayVersion ||
            !library->count || !library->itemId || !library->itemText || !library->itemPng ||
            !library->itemIcon || !library->process || !library->openTarget || !library->freeString)
            return nullptr;  // the destructor frees the module
        return library;
    }

    // Takes over a string of the library: copies it and gives it back.
    NString Take(wchar_t* text) const
    {
        NString copy(text);
        freeString(text);
        return copy;
    }
};

InetHandler::InetHandler() : InetHandler(nullptr) {}

InetHandler::InetHandler(const wchar_t* libraryPath)
    : m_owner(nullptr),
      m_ownerWindow(nullptr),
      m_initialised(0),
      m_closeRequested(0)
{
    if (libraryPath)
        m_libraryPath = libraryPath;
}

InetHandler::~InetHandler()
{
    ClearItems();
}

bool InetHandler::IsLibraryLoaded() const
{
    return m_library != nullptr;
}

bool InetHandler::Init()
{
    try {
        if (!m_library) {
            NString path = m_libraryPath;
            if (path.IsEmpty() && GetExeDirectory(path)) {
                if (path.GetLength() > 0 && path[path.GetLength() - 1] != L'\\')
                    path += L'\\';
                path += kLibraryName;
            }
            if (!path.IsEmpty())
                m_library = Library::Load(path.c_str());
        }
        Trace(L"before dinet_Init(DINET_API_VERSION)\n");
        if (m_library)
            m_library->init(kApiVersion);
        Trace(L"after dinet_Init(DINET_API_VERSION)\n");
        return true;
    } catch (...) {
        return false;
    }
}

bool InetHandler::OnAppShutDown()
{
    try {
        Trace(L"before dinet_Destroy\n");
        Trace(L"after dinet_Destroy\n");
        return true;
    } catch (...) {
        return false;
    }
}

bool InetHandler::Shutdown()
{
    try {
        m_initialised = 0;
        ClearItems();
        Trace(L"before dinet_Shutdown\n");
        if (m_library)
            m_library->shutdown(m_owner);
        Trace(L"after dinet_Shutdown\n");
        return true;
    } catch (...) {
        return false;
    }
}

bool InetHandler::SetOwner(HWND owner)
{
    m_owner = owner;
    m_ownerWindow = owner;
    m_closeRequested = 0;
    m_initialised = 1;
    return m_library != nullptr;
}

void InetHandler::ClearItems()
{
    // The library keeps its own icons; the ones made here from its pictures go with the list.
    m_madeIcons.clear();
    m_icons.clear();
    m_commandIds.clear();
}

bool InetHandler::BuildMenus(HMENU mainMenu)
{
    if (!mainMenu)
        return false;
    if (m_library)
        m_library->setLang(GeneralLanguageFile);
    ClearItems();
    if (HMENU internet = GetSubMenu(mainMenu, 2)) {
        DeleteMenu(internet, 0, MF_BYPOSITION);  // the resource's placeholder
        FillMenu(internet, kInternetMenu);
    }
    if (HMENU configuration = GetSubMenu(mainMenu, 1))
        FillMenu(configuration, kConfigurationMenu);
    if (HMENU help = GetSubMenu(mainMenu, 3))
        FillMenu(help, kHelpMenu);
    return true;
}

bool InetHandler::FillMenu(HMENU submenu, int libraryMenu)
{
    if (!m_library || !submenu)
        return true;  // no library: nothing to add
    try {
        const Library& library = *m_library;
        const int count = library.count(libraryMenu);
        for (int i = 0; i < count; ++i) {
            const int id = library.itemId(libraryMenu, i);
            MENUITEMINFOW info = {};
            info.cbSize = sizeof(info);
            if (id == 0) {
                info.fMask = MIIM_STATE | MIIM_ID | MIIM_FTYPE;
                info.fType = MFT_SEPARATOR | MFT_OWNERDRAW;
                InsertMenuItemW(submenu, static_cast<UINT>(i), TRUE, &info);
                continue;
            }
            // Command ids are 16-bit: an id that does not fit cannot be told apart from others.
            if (id < 0 || id > 0xFFFF - kCommandOffset)
                continue;
            wchar_t* rawText = library.itemText(id);
            if (!rawText)
                continue;
            NString text = library.Take(rawText);
            const int commandId = id + kCommandOffset;
            info.fMask = MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_FTYPE;
            info.fType = MFT_OWNERDRAW;
            info.wID = static_cast<UINT>(commandId);
            info.dwTypeData = const_cast<wchar_t*>(text.c_str());
            info.cch = static_cast<UINT>(text.GetLength());
            InsertMenuItemW(submenu, static_cast<UINT>(i), TRUE, &info);

            // Room first, so that a failure cannot leave the lists of different lengths.
            m_commandIds.reserve(m_commandIds.size() + 1);
            m_icons.reserve(m_icons.size() + 1);
            m_madeIcons.reserve(m_madeIcons.size() + 1);

            HICON icon = nullptr;
            if (wchar_t* rawPng = library.itemPng(id)) {
                const NString pngPath = library.Take(rawPng);
                NImageBuffer picture;
                if (LoadImageIntoBitmap(picture, pngPath.c_str(), 0, 0, nullptr, 0) == 0) {
                    icon = picture.CreateIcon();
                    if (icon)
                        m_madeIcons.emplace_back(icon);
                }
                picture.Destroy();
            }
            if (!icon)
                icon = library.itemIcon(id);
            m_commandIds.push_back(commandId);
            m_icons.push_back(icon);
        }
        return true;
    } catch (...) {
        return false;
    }
}

int InetHandler::IndexOf(UINT commandId) const
{
    const int id = static_cast<int>(LOWORD(commandId));
    const auto found = std::find(m_commandIds.begin(), m_commandIds.end(), id);
    return found == m_commandIds.end() ? -1 : static_cast<int>(found - m_commandIds.begin());
}

bool InetHandler::IsInetCommand(UINT commandId) const
{
    return m_initialised && IndexOf(commandId) >= 0;
}

bool InetHandler::ProcessCommand(UINT commandId)
{
    try {
        if (!m_initialised || m_commandIds.empty() || !m_library)
            return false;
        const int index = IndexOf(commandId);
        if (index < 0)
            return false;
        const int answer = m_library->process(m_owner, m_commandIds[index] - kCommandOffset);
        if (answer == kAnswerClose || answer == kAnswerCloseAlso) {
            m_closeRequested = 1;
            if (m_ownerWindow)
                PostMessageW(m_ownerWindow, WM_CLOSE, 0, 0);
        }
        return true;
    } catch (...) {
        return false;
    }
}

HICON InetHandler::GetCommandBitmap(UINT commandId) const
{
    if (!m_initialised || m_commandIds.empty())
        return nullptr;
    const int index = IndexOf(commandId);
    if (index < 0 || index >= static_cast<int>(m_icons.size()))
        return nullptr;
    return m_icons[index];
}

bool InetHandler::GetDisplayVersion(NString& text) const
{
    if (!m_initialised)
        return false;
    if (m_library) {
        if (wchar_t* version = m_library->displayVersion(text.c_str()))
            text = m_library->Take(version);
    }
    return true;
}

bool InetHandler::OpenWebTarget(const wchar_t* name) const
{
    if (!m_library || !name)
        return false;
    return m_library->openTarget(name) != 0;
}

bool OpenTutorials(const wchar_t*, int)
{
    return g_DlvInetHandler.OpenWebTarget(L"tutorials");
}
