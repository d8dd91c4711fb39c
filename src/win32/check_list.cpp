#include "check_list.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "core/log.h"
#include "core/state.h"
#include "texts/language.h"
#include "win32_ui.h"
#include "window/controls.h"
#include "wizard_window.h"

namespace qvk::win32 {
namespace {

const char kAreaClass[] = "QvkScrollArea";
constexpr int kAreaX = 30, kAreaY = 90, kAreaWidth = 443, kAreaHeight = 173;
constexpr int kBoxHeight = 20, kScrollStep = 30;

std::vector<HWND> balloonTips;
int checkAllState = 0;  // the first press unticks, whatever was done to single boxes

SCROLLINFO ScrollInfo(UINT mask) {
    SCROLLINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = mask;
    return info;
}

void ScrollTo(HWND window, int position) {
    SCROLLINFO info = ScrollInfo(SIF_ALL);
    GetScrollInfo(window, SB_VERT, &info);
    const int top = std::max(0, std::min(position, info.nMax - static_cast<int>(info.nPage) + 1));
    if (top == info.nPos) return;
    ScrollWindowEx(window, 0, info.nPos - top, nullptr, nullptr, nullptr, nullptr,
                   SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
    info.fMask = SIF_POS;
    info.nPos = top;
    SetScrollInfo(window, SB_VERT, &info, TRUE);
}

LRESULT CALLBACK AreaProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_VSCROLL) {
        SCROLLINFO info = ScrollInfo(SIF_ALL);
        GetScrollInfo(window, SB_VERT, &info);
        int position = info.nPos;
        switch (LOWORD(wParam)) {
            case SB_LINEUP: position -= kScrollStep; break;
            case SB_LINEDOWN: position += kScrollStep; break;
            case SB_PAGEUP: position -= static_cast<int>(info.nPage); break;
            case SB_PAGEDOWN: position += static_cast<int>(info.nPage); break;
            case SB_THUMBTRACK:
            case SB_THUMBPOSITION: position = info.nTrackPos; break;
            case SB_TOP: position = 0; break;
            case SB_BOTTOM: position = info.nMax; break;
        }
        ScrollTo(window, position);
        return 0;
    }
    if (message == WM_MOUSEWHEEL) {
        SCROLLINFO info = ScrollInfo(SIF_POS);
        GetScrollInfo(window, SB_VERT, &info);
        ScrollTo(window, info.nPos - GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA * kScrollStep);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A button would turn the "&" of "Blur & Glow" into an underlined mnemonic; doubled, it shows.
std::string EscapeMnemonics(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        escaped += c;
        if (c == '&') escaped += '&';
    }
    return escaped;
}

// The tip of box 100 + position, from the record at that position (the caller's walk is there).
void BalloonTip(HWND window, int position, const PluginRecord* record) {
    HWND box = TheUi().Handle(FirstPluginCheckBox + position);
    if (!box) return;
    const std::string body = UiText(DescriptionLabel) + record->description + "\r\n" +
                             UiText(AuthorLabel) + record->author + "\r\n" +
                             UiText(VersionDateLabel) + record->versionDate + "\r\n" +
                             UiText(SizeLabel) + record->size;
    HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                               WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!tip) return;  // the box works without its tip
    SendMessageA(tip, TTM_SETTIPTEXTCOLOR, GetSysColor(COLOR_INFOTEXT), 0);
    SendMessageA(tip, TTM_SETTIPBKCOLOR, GetSysColor(COLOR_INFOBK), 0);
    SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, 180);
    TOOLINFOA tool = {};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(box);
    tool.lpszText = const_cast<char*>(body.c_str());
    SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageA(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, 30000);
    balloonTips[position] = tip;
    if (!record->name.empty())
        SendMessageA(tip, TTM_SETTITLEA, 1 /* TTI_INFO */, reinterpret_cast<LPARAM>(record->name.c_str()));
}

void FreeBalloonTip(HWND window, int position, HWND box) {
    if (position >= static_cast<int>(balloonTips.size()) || !balloonTips[position]) return;
    TOOLINFOA tool = {};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(box);
    SendMessageA(balloonTips[position], TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

}  // namespace

void BuildCheckList(int count) {
    Log("Count plugins list : " + std::to_string(count));
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterWindowClass(kAreaClass, AreaProc);
    HWND window = WizardWindow();
    HWND area = CreateWindowExA(WS_EX_CONTROLPARENT, kAreaClass, "", WS_CHILD | WS_VISIBLE | WS_VSCROLL,
                           kAreaX, kAreaY, kAreaWidth, kAreaHeight, window,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(PluginListArea)), instance,
                           nullptr);
    TheUi().Register(PluginListArea, area);
    SCROLLINFO info = ScrollInfo(SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL);
    info.nMax = std::max(0, kBoxHeight * count - 1);
    info.nPage = kAreaHeight;
    SetScrollInfo(area, SB_VERT, &info, TRUE);
    ShowScrollBar(area, SB_VERT, kBoxHeight * count > kAreaHeight);

    balloonTips.assign(static_cast<size_t>(std::max(0, count)), nullptr);
    auto record = state.plugins.begin();
    for (int i = 0; i < count && record != state.plugins.end(); ++i, ++record) {
        const int id = FirstPluginCheckBox + i;
        HWND box = CreateWindowExA(0, "BUTTON", EscapeMnemonics(record->name).c_str(),
                                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0,
                                   kBoxHeight * i, kAreaWidth, kBoxHeight, area,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SendMessageA(box, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
        TheUi().Register(id, box);
        Log("Create CheckBoxGadget (ID : " + std::to_string(id) + ") : " + record->name);
        SendMessageA(box, BM_SETCHECK, BST_CHECKED, 0);
        Log("BalloonTip");
        BalloonTip(window, i, &*record);
    }
}

void FreeCheckList(int count) {
    HWND window = WizardWindow();
    for (int i = 0; i < count; ++i) {
        const int id = FirstPluginCheckBox + i;
        HWND box = TheUi().Handle(id);
        Log("Free gadget (" + std::to_string(id) + ")");
        TheUi().Free(id);
        Log("Free BalloonTip");
        FreeBalloonTip(window, i, box);
    }
    balloonTips.clear();
}

void CheckAll(int last) {
    for (int i = 0; i <= last; ++i) TheUi().SetState(FirstPluginCheckBox + i, checkAllState);
    checkAllState = 1 - checkAllState;
}

}  // namespace qvk::win32
