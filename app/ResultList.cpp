#include "app/ResultList.h"

#include "imaging/DecodeBudget.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <new>

#include "app/AppSettings.h"
#include "app/CandidateView.h"
#include "app/resource.h"
#include "base/BitmapUtils.h"
#include "base/Dpi.h"
#include "base/GdiOwners.h"
#include "base/SystemOwners.h"
#include "base/TimeUtils.h"
#include "imagefile/ExifDirectory.h"
#include "imagefile/FormatRegistry.h"
#include "imagefile/NImageFile.h"
#include "imaging/ImageDraw.h"
#include "ui/NMessageBox.h"
#include "ui/NSkin.h"
#include "ui/NWinApp.h"

namespace {

constexpr uint32_t kThumbnailMemoryWaitMs = 1000;

constexpr FileType kJpeg = FT_JPG;
constexpr wchar_t kProgramTitle[] = L"Delvarin Vastrel 2.0.2";

int TileSide() { return ScalePixelsForDpi(200); }
int TileImageHeight() { return ScalePixelsForDpi(148); }
int TileMargin() { return ScalePixelsForDpi(4); }

// The program's folder with a trailing backslash (icons ship beside the program).
void ProgramFolder(wchar_t* buffer, int units)
{
    buffer[0] = 0;
    DWORD length = GetModuleFileNameW(nullptr, buffer, units);
    if (length == 0 || length >= static_cast<DWORD>(units)) {
        buffer[0] = 0;
        return;
    }
    wchar_t* slash = wcsrchr(buffer, L'\\');
    if (slash)
        slash[1] = 0;
    else
        buffer[0] = 0;
}

HICON LoadIconFile(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    ProgramFolder(path, MAX_PATH);
    if (wcslen(path) + wcslen(name) >= MAX_PATH)
        return nullptr;
    wcscat(path, name);
    return static_cast<HICON>(LoadImageW(nullptr, path, IMAGE_ICON, 16, 16, LR_LOADFROMFILE));
}

}  // namespace

ResultList::ResultList()
    : m_dialog(nullptr), m_list(nullptr), m_count(0)
{
}

ResultList::~ResultList()
{
    Clear();
}

const FoundFileRecord* ResultList::GetRecord(int index) const
{
    return index >= 0 && index < m_count && m_records ? &m_records[index] : nullptr;
}

bool ResultList::IsSelected(int index) const
{
    return index >= 0 && static_cast<size_t>(index) < m_selection.size() && m_selection[index];
}

int ResultList::CountSelected() const
{
    return static_cast<int>(std::count(m_selection.begin(), m_selection.end(), true));
}

const NImageBuffer* ResultList::GetThumbnail(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_cache.size() || !m_cache[index])
        return nullptr;
    return m_cache[index].get();
}

void ResultList::ResetList()
{
    if (!m_list)
        return;
    SendMessageW(m_list, LVM_SETICONSPACING, 0, MAKELPARAM(TileSide(), TileSide()));
}

bool ResultList::Setup(HWND dialog, HWND list)
{
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    m_dialog = dialog;
    m_list = list;
    m_cache.clear();
    m_selection.clear();
    m_count = 0;
    m_records.reset();
    if (m_list)
        SendMessageW(m_list, LVM_SETITEMCOUNT, 0, 0);
    ResetList();

    m_photoYes.Destroy();
    m_photoNo.Destroy();
    if (NWinApp* app = NGetApp()) {
        if (app->GetSkin()->LoadPng(m_photoYes, L"PhotoYes", true))
            m_photoYes.PremultiplyAlpha();
        if (app->GetSkin()->LoadPng(m_photoNo, L"PhotoNo", true))
            m_photoNo.PremultiplyAlpha();
    }

    m_captionFont.Reset();
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        metrics.lfMessageFont.lfHeight = PointsToFontHeight(8);
        metrics.lfMessageFont.lfItalic = FALSE;
        m_captionFont.Reset(CreateFontIndirectW(&metrics.lfMessageFont));
    }
    return m_list != nullptr;
}

void ResultList::SetViewMode(int mode)
{
    if (!m_list)
        return;
    DWORD style = static_cast<DWORD>(GetWindowLongPtrW(m_list, GWL_STYLE));
    if ((style & LVS_TYPEMASK) != static_cast<DWORD>(mode & LVS_TYPEMASK))
        SetWindowLongPtrW(m_list, GWL_STYLE, (style & ~LVS_TYPEMASK) | (mode & LVS_TYPEMASK));
}

bool ResultList::Fill(const wchar_t* folder)
{
    m_cache.clear();
    m_selection.clear();
    if (m_list) {
        SendMessageW(m_list, LVM_ENSUREVISIBLE, 0, FALSE);
        SendMessageW(m_list, LVM_DELETEALLITEMS, 0, 0);
        SendMessageW(m_list, LVM_SETITEMCOUNT, 0, 0);
    }
    ResetList();
    m_count = 0;

    m_records.reset(new (std::nothrow) FoundFileRecord[kMaxRecords]());
    if (!m_records) {
        NMessageBox box(NMessageBox::typeOk, kProgramTitle, L"Failed to allocate buffer for storing file names",
                        m_dialog);
        box.Show();
        return false;
    }

    AddFolder(folder, true, false, false);
    if (!m_list)
        return true;
    SendMessageW(m_list, LVM_SETITEMCOUNT, m_count, LVSICF_NOINVALIDATEALL);

    // Two columns, inserted at 0 so that the path (sub-item 0) comes first, the size second.
    for (int subItem : {1, 0}) {
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = 50;
        column.iSubItem = subItem;
        SendMessageW(m_list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    }
    const DWORD exStyle =
        LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP | LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES;
    SendMessageW(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, exStyle, exStyle);
    // The check boxes of the report view show the selection: the list asks for their state.
    SendMessageW(m_list, LVM_SETCALLBACKMASK, LVIS_STATEIMAGEMASK, 0);

    ImageListOwner tiles(ImageList_Create(TileSide(), TileSide(), ILC_COLOR32 | ILC_MASK, 3, 0));
    ImageListOwner smallIcons(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 0));
    if (!tiles) {
        ErrorBox(L"Failed to create ImageList!!");
        return false;
    }
    if (smallIcons) {
        for (const wchar_t* name : {L"Icons\\Video.ico", L"Icons\\Sound.ico", L"Icons\\Image.ico"}) {
            const IconOwner icon(LoadIconFile(name));
            ImageList_AddIcon(smallIcons.Get(), icon.Get());
        }
    }
    const BitmapOwner placeholder(LoadCenteredBitmap(GetModuleHandleW(nullptr), TileSide(), TileSide(), 64, 64,
                                                     IDB_SYMBOL_PICTURE, RGB(0xC0, 0xC0, 0xC0),
                                                     GetSysColor(COLOR_WINDOW)));
    if (placeholder) {
        ImageList_Add(tiles.Get(), placeholder.Get(), nullptr);
        ImageList_Add(tiles.Get(), placeholder.Get(), nullptr);
    }
    // The view takes the new lists before the old ones go; a list it held that is not ours goes
    // with them.
    auto install = [this](int which, ImageListOwner& fresh, ImageListOwner& kept) {
        ImageListOwner previous(reinterpret_cast<HIMAGELIST>(
            SendMessageW(m_list, LVM_SETIMAGELIST, which, reinterpret_cast<LPARAM>(fresh.Get()))));
        if (previous.Get() == kept.Get())
            previous.Release();
        kept = std::move(fresh);
    };
    install(LVSIL_NORMAL, tiles, m_tiles);
    install(LVSIL_SMALL, smallIcons, m_smallIcons);

    ResetList();
    SendMessageW(m_list, LVM_SETITEMCOUNT, m_count, LVSICF_NOINVALIDATEALL);
    return true;
}

bool ResultList::AddFolder(const wchar_t* folder, bool recurse, bool includeAudio, bool jpegOnly)
{
    // An empty folder would list the root of the current drive.
    if (!folder || !folder[0] || !m_records)
        return false;
    if (m_count >= kMaxRecords)
        return true;
    const size_t folderLength = wcslen(folder);
    if (folderLength + 4 >= MAX_PATH)
        return false;
    wchar_t pattern[MAX_PATH];
    swprintf(pattern, MAX_PATH, L"%ls\\*.*", folder);
    WIN32_FIND_DATAW found;
    const FindHandleOwner search(FindFirstFileW(pattern, &found));
    if (!search)
        return false;
    do {
        if (found.cFileName[0] == L'.')
            continue;
        // A path that does not fit is skipped: a cut path could name another file.
        const size_t nameLength = wcslen(found.cFileName);
        if (folderLength + 1 + nameLength >= MAX_PATH)
            continue;
        wchar_t path[MAX_PATH];
        swprintf(path, MAX_PATH, L"%ls\\%ls", folder, found.cFileName);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (recurse) {
                AddFolder(path, true, includeAudio, jpegOnly);
                if (m_count >= kMaxRecords)
                    break;
            }
            continue;
        }
        if (!wcsrchr(found.cFileName, L'.'))
            continue;
        const FileType type = FormatFromExtension(found.cFileName);
        if (type == 0 || (type == FT_AUDIO && !includeAudio) || (jpegOnly && type != kJpeg))
            continue;
        FoundFileRecord& record = m_records[m_count];
        record = FoundFileRecord{};
        wcscpy(record.path, path);
        record.size = found.nFileSizeLow;
        record.lastWrite = found.ftLastWriteTime;
        record.date = found.ftLastWriteTime;
        if (type == kJpeg) {
            FILETIME taken;
            if (ReadExifDateTime(path, &taken))
                record.date = taken;
        }
        m_selection.push_back(true);
        m_cache.emplace_back();
        ++m_count;
    } while (m_count < kMaxRecords && FindNextFileW(search.Get(), &found));
    return true;
}

void ResultList::FormatSize(uint64_t size, wchar_t* buffer, int units)
{
    if (!buffer || units <= 0)
        return;
    float kb = static_cast<float>(size) * (1.0f / 1024.0f);
    if (kb < 1.0f)
        kb = 1.0f;
    if (kb < 1000.0f)
        _snwprintf(buffer, units - 1, L"%1.0f KB", kb);
    else
        _snwprintf(buffer, units - 1, L"%1.3f MB", kb / 1024.0f);
    buffer[units - 1] = 0;
}

LRESULT ResultList::GetDispInfo(NMLVDISPINFOW* info)
{
    if (!info || !m_list)
        return 0;
    LVITEMW& item = info->item;
    const FoundFileRecord* record = GetRecord(item.iItem);
    if (!record)
        return 0;
    const bool report = (GetWindowLongPtrW(m_list, GWL_STYLE) & LVS_TYPEMASK) == LVS_REPORT;
    if (report && (item.mask & LVIF_STATE)) {
        item.state = (item.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(IsSelected(item.iItem) ? 2 : 1);
        item.stateMask |= LVIS_STATEIMAGEMASK;
    }
    if (item.iSubItem == 0 || !(item.mask & LVIF_TEXT)) {
        if (!report)
            return 0;
        if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0)
            lstrcpynW(item.pszText, record->path, item.cchTextMax);
        if (item.mask & LVIF_IMAGE) {
            const FileType type = FormatFromExtension(record->path);
            item.iImage = type == FT_VIDEO ? 0 : type == FT_AUDIO ? 1 : 2;
        }
        return 0;
    }
    if (item.iSubItem == 1 && item.pszText && item.cchTextMax > 0) {
        wchar_t text[MAX_PATH];
        FormatSize(record->size, text, MAX_PATH);
        lstrcpynW(item.pszText, text, item.cchTextMax);
    }
    return 0;
}

LRESULT ResultList::GetInfoTip(NMLVGETINFOTIPW* tip)
{
    const FoundFileRecord* record = tip ? GetRecord(tip->iItem) : nullptr;
    if (record && tip->pszText && tip->cchTextMax > 0)
        lstrcpynW(tip->pszText, record->path, tip->cchTextMax);
    return 0;
}

void ResultList::Repaint()
{
    if (!m_list)
        return;
    InvalidateRect(m_list, nullptr, TRUE);
    UpdateWindow(m_list);
}

LRESULT ResultList::ToggleSelection(const NMITEMACTIVATE* click)
{
    if (click && click->iItem >= 0 && static_cast<size_t>(click->iItem) < m_selection.size())
        m_selection[click->iItem] = !m_selection[click->iItem];
    Repaint();
    return 0;
}

void ResultList::SelectAll(bool selected, bool repaint)
{
    std::fill(m_selection.begin(), m_selection.end(), selected);
    if (repaint)
        Repaint();
}

LRESULT ResultList::OnCustomDraw(NMLVCUSTOMDRAW* draw)
{
    if (!draw || !m_list)
        return 0;
    const bool report = (GetWindowLongPtrW(m_list, GWL_STYLE) & LVS_TYPEMASK) == LVS_REPORT;
    const DWORD stage = draw->nmcd.dwDrawStage;
    if (!report) {
        if (stage == CDDS_PREPAINT)
            return CDRF_NOTIFYITEMDRAW;
        if (stage == CDDS_ITEMPREPAINT)
            return DrawTile(draw);
        return 0;
    }
    if (stage == CDDS_PREPAINT)
        return CDRF_NOTIFYITEMDRAW;
    if (stage == CDDS_ITEMPREPAINT)
        return CDRF_NOTIFYSUBITEMDRAW;
    if (stage == (CDDS_ITEMPREPAINT | CDDS_SUBITEM)) {
        draw->clrText = draw->iSubItem == 1 ? RGB(60, 100, 0) : GetSysColor(COLOR_WINDOWTEXT);
        draw->clrTextBk = (draw->nmcd.dwItemSpec & 1) ? RGB(255, 255, 255) : RGB(0xF7, 0xFA, 0xFF);
    }
    return 0;
}

bool ResultList::MakeThumbnail(int index)
{
    FoundFileRecord& record = m_records[index];
    NImageFile* file = nullptr;
    bool decoded;
    {
        // The window's thread waits only briefly for decoding memory another load holds.
        NDecodeScope scope(kThumbnailMemoryWaitMs);
        decoded = LoadImageForView(&file, record.path, true, true);
    }
    if (!file)
        return false;
    NImageBuffer& picture = file->picture;
    if (decoded && picture.valid && picture.bpp == 32 && picture.width > 16 && picture.height > 16) {
        // Transparent parts show over a white and grey checkerboard.
        NImageBuffer backdrop;
        if (backdrop.Create(picture.width, picture.height, 24, RGB(255, 255, 255)) && backdrop.dc) {
            const int cell = std::max(1, picture.width / 16);
            DrawChecker(backdrop.dc, 0, 0, picture.width, picture.height, RGB(255, 255, 255), RGB(0xC4, 0xC4, 0xC4),
                        cell, cell);
            picture.PremultiplyAlpha();
            AlphaBlendImage(backdrop.dc, 0, 0, picture, 255, AC_SRC_ALPHA);
            picture.Copy(backdrop);
        }
    }
    bool made = false;
    if (picture.valid && picture.width > 0 && picture.height > 0) {
        const double boxWidth = TileSide() - 2 * TileMargin();
        const double boxHeight = TileImageHeight() - 2 * TileMargin();
        const double factor = std::min(boxWidth / picture.width, boxHeight / picture.height);
        const int width = std::max(1, std::min(picture.width, static_cast<int>(factor * picture.width)));
        const int height = std::max(1, std::min(picture.height, static_cast<int>(factor * picture.height)));
        auto thumbnail = std::make_unique<NImageBuffer>();
        if (thumbnail->Create(width, height, 24, RGB(255, 255, 255)) && thumbnail->dc &&
            picture.BltImageFiltered(thumbnail->dc, 0, 0, width, height, 0)) {
            thumbnail->ApplyFilter(4);
            m_cache[index] = std::move(thumbnail);
            made = true;
        }
    }
    record.width = static_cast<uint16_t>(std::clamp(file->fullWidth > 0 ? file->fullWidth : picture.width, 0, 0xFFFF));
    record.height =
        static_cast<uint16_t>(std::clamp(file->fullHeight > 0 ? file->fullHeight : picture.height, 0, 0xFFFF));
    record.bitsPerPixel = picture.bpp;
    delete file;
    return made;
}

LRESULT ResultList::DrawTile(NMLVCUSTOMDRAW* draw)
{
    const int index = static_cast<int>(draw->nmcd.dwItemSpec);
    if (index > kMaxTileIndex || index < 0 || static_cast<size_t>(index) >= m_selection.size() || !m_records)
        return 0;
    const NImageBuffer* cached = GetThumbnail(index);
    if (!cached || !cached->valid || cached->width <= 1) {
        if (!MakeThumbnail(index))
            return 0;
        cached = GetThumbnail(index);
    }
    const int side = TileSide();
    NImageBuffer tile;
    if (!tile.Create(side, side, 24, RGB(255, 255, 255)) || !tile.dc)
        return 0;
    DrawChecker(tile.dc, 0, 0, side, side, RGB(0xDC, 0xDC, 0xDC), RGB(0xF0, 0xF0, 0xF0), 6, 6);
    DrawLightFrame(tile.dc, 0, 0, side, side);

    const bool selected = IsSelected(index);
    const int x = (side - cached->width) / 2;
    const int y = (TileImageHeight() - cached->height) / 2;
    if (selected)
        cached->BlitTo(tile.dc, x, y, SRCCOPY);
    else
        AlphaBlendImage(tile.dc, x, y, *cached, 130, 0);

    const int margin = TileMargin();
    RECT caption{margin, TileImageHeight() + margin, side - margin, side - margin};
    FillRect(tile.dc, &caption, GetSysColorBrush(COLOR_WINDOW));
    DrawShadowFrame(tile.dc, caption.left, caption.top, caption.right, caption.bottom);
    const FoundFileRecord& record = m_records[index];
    wchar_t date[128] = L"";
    FormatFileTimeShort(&record.date, date, 128, false, false);
    const wchar_t* name = wcsrchr(record.path, L'\\');
    name = name ? name + 1 : record.path;
    // DT_MODIFYSTRING writes the shortened text back, so the buffer has room for that.
    wchar_t text[MAX_PATH + 8];
    _snwprintf(text, MAX_PATH - 1, L"%s\r%dx%d\r%s", name, record.width, record.height, date);
    text[MAX_PATH - 1] = 0;
    SetBkMode(tile.dc, TRANSPARENT);
    SetTextColor(tile.dc, GetSysColor(COLOR_MENUTEXT));
    {
        ObjectSelection font(tile.dc, m_captionFont.Get());
        DrawTextW(tile.dc, text, -1, &caption,
                  DT_CENTER | DT_TABSTOP | DT_NOPREFIX | DT_PATH_ELLIPSIS | DT_MODIFYSTRING);
    }

    if (selected && m_photoYes.valid)
        AlphaBlendImage(tile.dc, 0, side - m_photoYes.height, m_photoYes, 255, AC_SRC_ALPHA);
    else if (!selected && m_photoNo.valid)
        AlphaBlendImageStretched(tile.dc, 0, 0, side, side, m_photoNo, 210, AC_SRC_ALPHA);

    BitBlt(draw->nmcd.hdc, draw->nmcd.rc.left, draw->nmcd.rc.top, side, side, tile.dc, 0, 0, SRCCOPY);
    return CDRF_SKIPDEFAULT;
}

void ResultList::Clear()
{
    if (m_list && IsWindow(m_list)) {
        SendMessageW(m_list, LVM_DELETEALLITEMS, 0, 0);
        SendMessageW(m_list, LVM_SETIMAGELIST, LVSIL_NORMAL, 0);
        SendMessageW(m_list, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
    }
    m_tiles.Reset();
    m_smallIcons.Reset();
    m_records.reset();
    m_count = 0;
    m_cache.clear();
    m_selection.clear();
    m_photoYes.Destroy();
    m_photoNo.Destroy();
    m_captionFont.Reset();
}
