#include "wizard_window.h"

#include <commctrl.h>
#include <richedit.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>

#include "core/log.h"
#include "core/state.h"
#include "install/editions.h"
#include "resources.h"
#include "texts/language.h"
#include "window/controls.h"
#include "window/jpeg_image.h"

namespace qvk::win32 {
namespace {

const char kClassName[] = "QvkWizardWindow";
constexpr int kClientWidth = 495, kClientHeight = 360;

HWND wizard = nullptr;
EventQueue wizardEvents;
bool linkHandlerInstalled = false;
HWND focusBeforeDeactivation = nullptr;
HBITMAP images[35] = {};

// Opens a clicked web address of the notes with its default handler.
bool NotesLinkHandler(LPARAM lParam) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->code != EN_LINK) return false;
    const ENLINK* link = reinterpret_cast<const ENLINK*>(lParam);
    if (link->msg != WM_LBUTTONDOWN) return false;
    char text[512] = {};
    TEXTRANGEA range;
    range.chrg.cpMin = link->chrg.cpMin;
    // At most 511 characters: a longer link is opened cut.
    range.chrg.cpMax = std::min<LONG>(link->chrg.cpMax, link->chrg.cpMin + 511);
    range.lpstrText = text;
    SendMessageA(header->hwndFrom, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    ShellExecuteA(wizard, "open", text, nullptr, nullptr, SW_SHOWNORMAL);
    return false;  // normal processing goes on
}

LRESULT CALLBACK WizardProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (HIWORD(wParam) != BN_CLICKED) return 0;
            // Escape arrives as IDCANCEL, Enter as the default button's number.
            // Enter arrives as IDOK or as the default button; on a disabled Next it must not
            // advance the wizard.
            if (id == IDCANCEL) wizardEvents.Push(CancelButton);
            else if (id == IDOK || id == NextButton) {
                if (IsWindowEnabled(TheUi().Handle(NextButton))) wizardEvents.Push(NextButton);
            } else wizardEvents.Push(id);
            return 0;
        }
        case DM_GETDEFID:
            return MAKELONG(NextButton, DC_HASDEFID);
        case WM_NOTIFY:
            if (linkHandlerInstalled &&
                reinterpret_cast<const NMHDR*>(lParam)->idFrom == static_cast<UINT_PTR>(NotesEditor))
                NotesLinkHandler(lParam);
            return DefWindowProcA(window, message, wParam, lParam);
        case kEnableControlMessage: {
            HWND control = reinterpret_cast<HWND>(wParam);
            EnableWindow(control, lParam != 0);
            // Disabling Next took the keyboard focus with it; give it back so Enter works.
            HWND focus = GetFocus();
            if (lParam && (!focus || !IsWindowEnabled(focus) || !IsWindowVisible(focus)))
                SetFocus(control);
            return 0;
        }
        case kPostedWriteMessage:
            TheUi().ApplyPosted(lParam);
            return 0;
        case WM_ACTIVATE:
            // This window is no dialog, so nothing else brings the focus back to its control
            // after a message box; without it the keyboard would address no control at all.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(window, focus)) focusBeforeDeactivation = focus;
            } else if (!HIWORD(wParam) && focusBeforeDeactivation &&
                       IsWindow(focusBeforeDeactivation) &&
                       IsWindowVisible(focusBeforeDeactivation) &&
                       IsWindowEnabled(focusBeforeDeactivation)) {
                SetFocus(focusBeforeDeactivation);
                return 0;
            }
            return DefWindowProcA(window, message, wParam, lParam);
        case WM_CLOSE:
            wizardEvents.Push(EventQueue::kCloseRequest);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

HFONT DialogFont() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

HWND Create(HWND parent, int id, const char* cls, const std::string& text, DWORD style, int x,
            int y, int w, int h, DWORD exStyle = 0) {
    HWND handle = CreateWindowExA(exStyle, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y,
                                  w, h, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                  GetModuleHandleA(nullptr), nullptr);
    if (handle) {
        SendMessageA(handle, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), TRUE);
        TheUi().Register(id, handle);
    }
    return handle;
}

HBITMAP BitmapFromRgb(const RgbImage& image) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    const int stride = (image.width * 3 + 3) & ~3;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* source = image.Row(y);
        uint8_t* target = static_cast<uint8_t*>(bits) + static_cast<size_t>(stride) * y;
        for (int x = 0; x < image.width; ++x) {  // DIB rows are blue, green, red
            target[3 * x] = source[3 * x + 2];
            target[3 * x + 1] = source[3 * x + 1];
            target[3 * x + 2] = source[3 * x];
        }
    }
    return bitmap;
}

HBITMAP DecodeResourceJpeg(int resource) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(resource), MAKEINTRESOURCEA(10));  // RCDATA
    if (!found) return nullptr;
    HGLOBAL loaded = LoadResource(module, found);
    const auto* data = static_cast<const uint8_t*>(LockResource(loaded));
    RgbImage image;
    std::string error;
    if (!data || !DecodeJpeg(data, SizeofResource(module, found), image, &error)) {
        Log("Unable to decode picture " + std::to_string(resource) + " : " + error);
        return nullptr;
    }
    return BitmapFromRgb(image);
}

HFONT ArialFont(int points, bool bold) {
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    return CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, "Arial");
}

// The welcome picture is drawn at run time so that it speaks the chosen language.
HBITMAP DrawWelcomeImage() {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 338, 314);
    ReleaseDC(nullptr, screen);
    if (!dc || !bitmap) {
        if (dc) DeleteDC(dc);
        return bitmap;
    }
    HGDIOBJ previous = SelectObject(dc, bitmap);
    RECT all = {0, 0, 338, 314};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, OPAQUE);
    SetTextAlign(dc, TA_TOP | TA_LEFT);
    HFONT title = ArialFont(16, true), body = ArialFont(10, false);
    auto line = [&](HFONT font, int slot, int y) {
        const std::string& text = UiText(slot);
        HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
        TextOutA(dc, 0, y, text.c_str(), static_cast<int>(text.size()));
        if (old) SelectObject(dc, old);
    };
    line(title, WelcomeLine1, 10);
    line(title, WelcomeLine2, 34);
    line(body, WelcomeLine3, 58);
    line(body, WelcomeLine4, 74);
    line(body, WelcomeLine5, 90);
    SelectObject(dc, previous);
    if (title) DeleteObject(title);
    if (body) DeleteObject(body);
    DeleteDC(dc);
    return bitmap;
}

// The credit under the side banner has a box of its own size whatever the system's dialog font
// is; wrapped, its second line would be cut. It stays on one line: in the dialog font where it
// fits, else in the largest smaller size that fits, of the dialog font's face or of Tahoma (XP's
// dialog face, and scalable where the dialog font may be a bitmap font of fixed sizes), and only
// where not even a small size fits does it end with an ellipsis.
HWND FittedLine(HWND parent, int id, const std::string& text, int x, int y, int w, int h) {
    constexpr int kSmallestHeight = 9;  // pixels; below this the letters are no longer legible
    const int room = w - 2;             // the disabled look draws the text one pixel further
    HDC dc = GetDC(nullptr);
    auto width = [&](HFONT font) {
        HGDIOBJ old = SelectObject(dc, font);
        SIZE size = {};
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        return size.cx;
    };
    HFONT font = DialogFont();
    bool fits = width(font) <= room;
    LOGFONTA dialog = {};
    if (!fits && GetObjectA(font, sizeof(dialog), &dialog) == sizeof(dialog)) {
        const int full = std::abs(dialog.lfHeight);
        for (int height = full; height >= kSmallestHeight && !fits; --height) {
            const char* dialogFace = dialog.lfFaceName;
            for (const char* face : {dialogFace, "Tahoma"}) {
                if (height == full && face == dialogFace) continue;  // measured above
                LOGFONTA candidate = dialog;
                candidate.lfHeight = -height;
                candidate.lfWidth = 0;
                lstrcpynA(candidate.lfFaceName, face, LF_FACESIZE);
                HFONT sized = CreateFontIndirectA(&candidate);
                if (!sized) continue;
                if (width(sized) <= room) {
                    font = sized;
                    fits = true;
                    break;
                }
                DeleteObject(sized);
            }
        }
    }
    ReleaseDC(nullptr, dc);
    HWND handle = Create(parent, id, "STATIC", text,
                         SS_LEFTNOWORDWRAP | SS_NOPREFIX | (fits ? 0 : SS_ENDELLIPSIS), x, y, w, h);
    // The control does not own its font: a fitted one lives as long as the program.
    if (handle && font != DialogFont())
        SendMessageA(handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return handle;
}

HWND Picture(HWND parent, int id, HBITMAP bitmap, int x, int y, int w, int h) {
    HWND handle = Create(parent, id, "STATIC", "", SS_BITMAP, x, y, w, h);
    if (handle && bitmap)
        SendMessageA(handle, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
    return handle;
}

}  // namespace

HWND WizardWindow() { return wizard; }
EventQueue& WizardEvents() { return wizardEvents; }
void InstallNotesLinkHandler() { linkHandlerInstalled = true; }

void FreeImage(int image) {
    if (image >= 0 && image < 35 && images[image]) {
        DeleteObject(images[image]);
        images[image] = nullptr;
    }
}

bool BuildWizardWindow() {
    RegisterWindowClass(kClassName, WizardProc);
    wizard = CreateCentredWindow(kClassName, "Installation",
                                 WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                 WS_EX_CONTROLPARENT, kClientWidth, kClientHeight);
    if (!wizard) return false;
    TheUi().SetOwner(wizard);
    TheUi().Register(WizardWindowId, wizard);

    HWND panel = Create(wizard, WelcomePanel, "STATIC", "", 0, 164, 0, 338, 314);
    images[WelcomeImage] = DrawWelcomeImage();
    Picture(panel, WelcomePicture, images[WelcomeImage], 0, 0, 338, 314);

    images[HeaderBannerImage] = DecodeResourceJpeg(kHeaderBannerResource);
    images[SideBannerImage] = DecodeResourceJpeg(kSideBannerResource);

    Create(wizard, HeaderFrame, "BUTTON", "", BS_GROUPBOX, -5, -5, 530, 63);
    Create(wizard, BodyFrame, "BUTTON", "", BS_GROUPBOX, -5, -5, 530, 319);
    FittedLine(wizard, ReleaseLine,
               std::string("Release ") + kRelease + " - by the Quorvane plugins team", 5, 306, 232,
               20);
    Picture(wizard, SideBanner, images[SideBannerImage], 0, 0, 164, 314);
    Picture(wizard, HeaderBanner, images[HeaderBannerImage], 0, 0, 495, 57);
    Create(wizard, CancelButton, "BUTTON", UiText(CancelText), WS_TABSTOP | BS_PUSHBUTTON, 412,
           325, 75, 23);
    Create(wizard, NextButton, "BUTTON", UiText(NextButtonText), WS_TABSTOP | BS_DEFPUSHBUTTON, 322,
           325, 75, 23);

    const DWORD richStyle = WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
    HWND notes = Create(wizard, NotesEditor, RICHEDIT_CLASSA, "", richStyle, 30, 100, 442, 170,
                        WS_EX_CLIENTEDGE);
    if (notes) {
        // Wrap at the box's width, report link clicks, and show web addresses as links.
        SendMessageA(notes, EM_SETTARGETDEVICE, 0, 0);
        SendMessageA(notes, EM_SETEVENTMASK, 0, ENM_LINK);
        SendMessageA(notes, EM_AUTOURLDETECT, TRUE, 0);
    }

    Create(wizard, HeadingText, "STATIC", "", 0, 30, 70, 442, 30);
    Create(wizard, TotalProgressLabel, "STATIC", "", 0, 30, 70, 442, 30);
    for (int i = 0; i < kEditionCount; ++i) {
        const Edition& edition = kEditions[i];
        const int top = 100 + 50 * i;
        Create(wizard, edition.tickBox, "BUTTON", edition.name, WS_TABSTOP | BS_AUTOCHECKBOX, 30,
               top, 442, 20);
        Create(wizard, edition.folderField, "EDIT", edition.defaultFolder,
               WS_TABSTOP | ES_AUTOHSCROLL, 30, top + 20, 357, 20, WS_EX_CLIENTEDGE);
        Create(wizard, edition.browseButton, "BUTTON", UiText(BrowseText),
               WS_TABSTOP | BS_PUSHBUTTON, 397, top + 20, 80, 23);
    }
    HWND progress = Create(wizard, installprog, PROGRESS_CLASSA, "", PBS_SMOOTH, 30, 100, 442, 20);
    SendMessageA(progress, PBM_SETRANGE32, 0, 102);
    HWND total = Create(wizard, TotalProgressBar, PROGRESS_CLASSA, "", PBS_SMOOTH, 30, 100, 442, 20);
    SendMessageA(total, PBM_SETRANGE32, 0, 200);
    Create(wizard, CatalogueLog, RICHEDIT_CLASSA, "", richStyle, 30, 130, 442, 150,
           WS_EX_CLIENTEDGE);
    Create(wizard, CheckAllButton, "BUTTON", UiText(CheckAllText), WS_TABSTOP | BS_PUSHBUTTON, 30,
           272, 95, 26);

    for (int id : {HeaderBanner, HeaderFrame, ReleaseLine}) TheUi().Show(id, false);
    TheUi().Enable(ReleaseLine, false);
    for (int id : {NotesEditor, CatalogueLog, HeadingText, TotalProgressLabel, installprog,
                   TotalProgressBar, CheckAllButton})
        TheUi().Show(id, false);
    for (const Edition& edition : kEditions)
        for (int id : {edition.tickBox, edition.folderField, edition.browseButton})
            TheUi().Show(id, false);

    ShowWindow(wizard, SW_SHOW);
    UpdateWindow(wizard);
    SetForegroundWindow(wizard);
    SetFocus(TheUi().Handle(NextButton));
    return true;
}

}  // namespace qvk::win32
