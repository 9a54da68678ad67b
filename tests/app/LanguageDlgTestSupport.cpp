#include "LanguageDlgTestSupport.h"

#include <cwchar>
#include <vector>

#include "app/LanguageDlg.h"

namespace {

struct ModalRun {
    NDialog* dialog = nullptr;
    std::function<void(HWND)> act;
    DWORD deadline = 0;
    bool acted = false;
    bool busy = false;
};
ModalRun* g_run = nullptr;

void CALLBACK OnModalTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (!g_run || g_run->busy)
        return;
    HWND window = g_run->dialog->GetHwnd();
    if (!window || !IsWindow(window))
        return;
    g_run->busy = true;
    if (!g_run->acted && IsWindowVisible(window)) {
        g_run->acted = true;
        g_run->act(window);
    } else if (GetTickCount() > g_run->deadline) {
        g_run->dialog->EndDialog(IDCANCEL);
    }
    g_run->busy = false;
}

}  // namespace

INT_PTR RunModal(NDialog& dialog, const std::function<void(HWND)>& act, int timeoutMs)
{
    ModalRun run;
    run.dialog = &dialog;
    run.act = act;
    run.deadline = GetTickCount() + static_cast<DWORD>(timeoutMs);
    ModalRun* previous = g_run;
    g_run = &run;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, OnModalTimer);
    const INT_PTR result = dialog.DoModal(true);
    KillTimer(nullptr, timer);
    g_run = previous;
    return result;
}

void PumpFor(int milliseconds)
{
    const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    while (GetTickCount() < end) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    }
}

std::wstring ItemText(HWND dialog, int id)
{
    return WindowText(GetDlgItem(dialog, id));
}

std::wstring WindowText(HWND window)
{
    std::vector<wchar_t> text(2048, L'\0');
    GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    return text.data();
}

LanguageScope::LanguageScope() : savedDetected_(GeneralDetectedLanguage)
{
    wmemcpy(savedCode_, GeneralLanguageFile, kLanguageCodeUnits);
    wmemcpy(savedFolder_, GeneralOutputFolder, kOutputFolderUnits);
    CreateDirectoryW(dir_.File(L"lang").c_str(), nullptr);
    CreateDirectoryW(dir_.File(L"Flags").c_str(), nullptr);
    settings_ = dir_.File(L"settings.ini");
    LanguageSources& sources = Language_Sources();
    sources.programFolder = dir_.Path().c_str();
    sources.settingsFile = settings_.c_str();
    sources.systemLocale = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);
}

LanguageScope::~LanguageScope()
{
    app_.GetLanguage()->Clear();
    LanguageSources& sources = Language_Sources();
    sources.programFolder = L"";
    sources.settingsFile = L"";
    sources.systemLocale = 0;
    wmemcpy(GeneralLanguageFile, savedCode_, kLanguageCodeUnits);
    GeneralDetectedLanguage = savedDetected_;
    wmemcpy(GeneralOutputFolder, savedFolder_, kOutputFolderUnits);
}

void LanguageScope::AddShippedLanguage(const wchar_t* code)
{
    const std::wstring name = std::wstring(L"VST-") + code + L".polylex";
    CopyFileW(ResourcePath(L"lang\\" + name).c_str(), dir_.File(L"lang\\" + name).c_str(), FALSE);
}

void LanguageScope::AddShippedFlag(const wchar_t* name)
{
    const std::wstring file = std::wstring(name) + L".bmp";
    CopyFileW(ResourcePath(L"Flags\\" + file).c_str(), dir_.File(L"Flags\\" + file).c_str(), FALSE);
}

void LanguageScope::AddLanguage(const std::wstring& code, const std::wstring& text)
{
    std::wstring content = L"\xFEFF" + text;
    WriteWholeFile(dir_.File(L"lang\\VST-" + code + L".polylex"), content.data(), content.size() * sizeof(wchar_t));
}

std::wstring LanguageScope::Stored(const wchar_t* name) const
{
    wchar_t value[512] = {};
    GetPrivateProfileStringW(kAppName, name, L"", value, 512, settings_.c_str());
    return value;
}

void LanguageScope::Store(const wchar_t* name, const wchar_t* value)
{
    WritePrivateProfileStringW(kAppName, name, value, settings_.c_str());
}

CountingParent::CountingParent()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"LanguageTestParent";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, L"LanguageTestParent", L"parent", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                              nullptr, GetModuleHandleW(nullptr), this);
}

CountingParent::~CountingParent()
{
    if (window_)
        DestroyWindow(window_);
}

LRESULT CALLBACK CountingParent::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CountingParent*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == kLanguageChangedMessage && self)
        ++self->count_;
    return DefWindowProcW(window, message, wParam, lParam);
}
