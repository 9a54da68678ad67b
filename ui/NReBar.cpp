#include "ui/NReBar.h"

#include "imaging/ImageDraw.h"
#include "ui/NWinApp.h"

static_assert(sizeof(REBARBANDINFOW) == 128, "the band record of the common controls 6");
static_assert(sizeof(REBARINFO) == 16, "the bar record of the common controls");

NReBar::NReBar()
{
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_COOL_CLASSES};
    InitCommonControlsEx(&controls);
}

NReBar::~NReBar() = default;

LRESULT NReBar::Send(UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageW(m_hWnd, message, wParam, lParam);
}

LRESULT NReBar::OnNotifyReflect(WPARAM, NMHDR* header)
{
    if (!header || header->code != static_cast<UINT>(NM_CUSTOMDRAW))
        return 0;
    LRESULT result = 0;
    CustomDraw(reinterpret_cast<NMCUSTOMDRAW*>(header), &result);
    return result;
}

void NReBar::PreCreateWindow(CREATESTRUCTW& cs)
{
    NWindow::PreCreateWindow(cs);
    m_cs.style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_AUTOSIZE | RBS_BANDBORDERS |
                 RBS_VARHEIGHT | CCS_NODIVIDER;
    m_cs.lpszClass = REBARCLASSNAMEW;
}

bool NReBar::DeleteBand(int index)
{
    return Send(RB_DELETEBAND, static_cast<WPARAM>(index)) != 0;
}

int NReBar::FindBand(HWND child)
{
    if (!child)
        return -1;
    const int count = GetBandCount();
    int found = -1;
    for (int i = 0; i < count; ++i) {
        REBARBANDINFOW info{};
        info.fMask = RBBIM_CHILD;
        if (GetBandInfo(i, &info) && info.hwndChild == child)
            found = i;
    }
    return found;
}

int NReBar::GetBandCount()
{
    return static_cast<int>(Send(RB_GETBANDCOUNT));
}

bool NReBar::GetBandInfo(int index, REBARBANDINFOW* info)
{
    if (!info)
        return false;
    info->cbSize = sizeof(REBARBANDINFOW);
    return Send(RB_GETBANDINFOW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(info)) != 0;
}

bool NReBar::GetBarInfo(REBARINFO* info)
{
    if (!info)
        return false;
    info->cbSize = sizeof(REBARINFO);
    return Send(RB_GETBARINFO, 0, reinterpret_cast<LPARAM>(info)) != 0;
}

bool NReBar::InsertBand(int index, REBARBANDINFOW* info)
{
    if (!info)
        return false;
    info->cbSize = sizeof(REBARBANDINFOW);
    return Send(RB_INSERTBANDW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(info)) != 0;
}

void NReBar::SetBandHeight(int index, int height)
{
    REBARBANDINFOW info{};
    info.fMask = RBBIM_CHILDSIZE;
    if (!GetBandInfo(index, &info))
        return;
    info.cyMinChild = static_cast<UINT>(height);
    info.cyMaxChild = static_cast<UINT>(height);
    SetBandInfo(index, &info);
    Send(RB_MAXIMIZEBAND, static_cast<WPARAM>(index), 0);
}

bool NReBar::SetBandColors(int index, COLORREF foreground, COLORREF background)
{
    REBARBANDINFOW info{};
    info.fMask = RBBIM_COLORS;
    info.clrFore = foreground;
    info.clrBack = background;
    return SetBandInfo(index, &info);
}

bool NReBar::SetBandBitmap(int index, HBITMAP bitmap)
{
    REBARBANDINFOW info{};
    info.fMask = RBBIM_STYLE;
    if (!GetBandInfo(index, &info))
        return false;
    info.fMask = RBBIM_STYLE | RBBIM_BACKGROUND;
    info.hbmBack = bitmap;
    return SetBandInfo(index, &info);
}

bool NReBar::SetBandInfo(int index, REBARBANDINFOW* info)
{
    if (!info)
        return false;
    info->cbSize = sizeof(REBARBANDINFOW);
    return Send(RB_SETBANDINFOW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(info)) != 0;
}

bool NReBar::SetBarInfo(REBARINFO* info)
{
    if (!info)
        return false;
    info->cbSize = sizeof(REBARINFO);
    return Send(RB_SETBARINFO, 0, reinterpret_cast<LPARAM>(info)) != 0;
}

bool NReBar::ShowBand(int index, bool show)
{
    return Send(RB_SHOWBAND, static_cast<WPARAM>(index), show ? TRUE : FALSE) != 0;
}

void NReBar::CustomDraw(NMCUSTOMDRAW* draw, LRESULT* result)
{
    if (!draw || !result)
        return;
    switch (draw->dwDrawStage) {
    case CDDS_PREPAINT:
        *result = CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
        break;
    case CDDS_POSTPAINT: {
        NWinApp* app = NGetApp();
        NSkin* skin = app ? app->GetSkin() : nullptr;
        if (!skin || !skin->IsLoaded() || !draw->hdc)
            break;
        RECT client{};
        GetClientRect(m_hWnd, &client);
        FillRectSolid(draw->hdc, 0, 0, 2, client.bottom, skin->GetColor(L"ToolBarGradientLeftColor"));
        break;
    }
    case CDDS_ITEMPREPAINT:
        *result = 0;
        break;
    default:
        break;
    }
}
