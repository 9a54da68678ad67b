// ResultList: the list of a scan's kept files in the result window. It owns the file records, the
// thumbnail cache and the selection of a list-view control of owner data: the control holds no
// items of its own, it asks for texts and images (GetDispInfo) and each tile is drawn here
// (OnCustomDraw). Thumbnails are made when a tile is first drawn and kept until Clear.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "app/FoundFileRecord.h"
#include "base/GdiOwners.h"
#include "base/IconOwner.h"
#include "imaging/NImageBuffer.h"

class ResultList {
public:
    static constexpr int kMaxRecords = 100000;
    static constexpr int kViewIcons = 0;
    static constexpr int kViewReport = 1;
    // Tiles past this index are left to the list's default drawing.
    static constexpr int kMaxTileIndex = 1000;

    ResultList();
    ~ResultList();
    ResultList(const ResultList&) = delete;
    ResultList& operator=(const ResultList&) = delete;

    bool Setup(HWND dialog, HWND list);
    void SetViewMode(int mode);
    // Lists every picture file below the folder, all selected. False when no records could be had.
    bool Fill(const wchar_t* folder);
    bool AddFolder(const wchar_t* folder, bool recurse, bool includeAudio, bool jpegOnly);
    LRESULT GetDispInfo(NMLVDISPINFOW* info);
    LRESULT GetInfoTip(NMLVGETINFOTIPW* tip);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);
    LRESULT DrawTile(NMLVCUSTOMDRAW* draw);
    LRESULT ToggleSelection(const NMITEMACTIVATE* click);
    void SelectAll(bool selected, bool repaint = true);
    void Clear();

    int GetCount() const { return m_count; }
    const FoundFileRecord* GetRecord(int index) const;
    bool IsSelected(int index) const;
    int CountSelected() const;
    HWND GetListHwnd() const { return m_list; }
    // The thumbnail made for the item (invalid until its tile was drawn).
    const NImageBuffer* GetThumbnail(int index) const;

    // The size column's text: whole KB below 1000 KB (at least 1 KB), else MB with three decimals.
    static void FormatSize(uint64_t size, wchar_t* buffer, int units);

private:
    void Repaint();
    void ResetList();
    bool MakeThumbnail(int index);

    HWND m_dialog;
    HWND m_list;
    FontOwner m_captionFont;
    ImageListOwner m_tiles;
    ImageListOwner m_smallIcons;
    int m_count;
    std::unique_ptr<FoundFileRecord[]> m_records;
    std::vector<std::unique_ptr<NImageBuffer>> m_cache;  // null until the tile is drawn
    std::vector<bool> m_selection;
    NImageBuffer m_photoYes;
    NImageBuffer m_photoNo;
};
