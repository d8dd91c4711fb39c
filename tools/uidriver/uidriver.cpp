// Remote control for the end-to-end tests: runs beside the program under test (under Wine or on
// Windows), reads one command per line on stdin and answers exactly one line on stdout, "ok ..."
// or "error ...". Every wait polls the window state every 20 ms up to a time-out, so a test
// never depends on how fast the machine is, only on how long it is willing to wait.
//
// Line syntax: [@<ms>] <command> [arguments]. The optional "@<ms>" overrides the time-out of
// that one command; "timeout <ms>" changes the default (10 s). Controls are found by id among
// all descendants of the current window, a direct child first.
//
//   window <title>           wait for a visible top-level window with this exact title; it
//                            becomes the current window        windows: the visible titles
//   click <id>               post BM_CLICK (a modal box it opens does not hold the driver)
//   check <id> <0|1>         click a tick box when its state differs, wait for the new state
//   settext <id> <text>      type a text field's whole text, as pasting it would
//   select <id> <index>      choose a drop-down entry and notify the parent (CBN_SELCHANGE)
//   text|state|enabled|visible|exists|class|rect <id>
//                            state: tick state, drop-down selection or progress position;
//                            rect: x y w h in the current window's client coordinates
//   count <from> <to>        how many of these ids exist and are visible
//   items <id>, item <id> <i>  entry count and entry text of a drop-down list
//   waittext <id> <text>, waitenabled|waitvisible <id> <0|1>, waitgone <id>, waitfocus <id>,
//   waitclosed, waitpixel <x> <y> <r> <g> <b>
//   message                  wait for a message box: "ok <title>|<text>"
//   answer <yes|no|ok>       press that button of it and wait until it has closed
//   close                    the close box's SC_CLOSE, or WM_CLOSE for a window without one
//   key <vk|tab|enter|escape|space|...>, focus, pixel <x> <y>, origin, client, langid, quit
//
// Texts, the one quoting rule. Every text on the line, a command's <title> or <text> as much as
// a title or a control's text in an answer, is UTF-8 (the windows' own UTF-16 text, so a letter
// outside the ANSI code page travels too) with these characters written as escapes:
//   backslash \\    vertical bar \|    CR \r    LF \n    TAB \t
//   any other character below 0x20, and DEL:  \x and two hex digits (\x1b)
// Nothing else is escaped: blanks, quotes and letters of any script stand as they are. A text
// argument is the rest of the line after the one blank that ends the word before it, so leading
// and trailing blanks belong to it. An answer of several texts ("windows", "message") separates
// them with a bare "|", which a text itself never holds. A backslash followed by anything else is
// refused ("error bad escape"). "error ..." answers are free text under the same rule.
#include <windows.h>
// after windows.h, which they build on
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD kPollMs = 20;
const UINT kSendTimeoutMs = 5000;   // one query; a busy machine can stall a program that long
const int kMessageTextId = 0xFFFF;  // the static that holds a message box's text

DWORD defaultTimeoutMs = 10000;
HWND current = nullptr;     // last window found by "window"
HWND currentBox = nullptr;  // last message box found by "message"

struct Failure {
    std::string what;
};

[[noreturn]] void Fail(const std::string& what) { throw Failure{what}; }

// The quoting rule of the protocol (see the top of this file).
std::string Escape(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '|': out += "\\|"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    out += "\\x";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 15];
                } else {
                    out += c;
                }
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Unescape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        switch (next) {
            case '\\': out += '\\'; break;
            case '|': out += '|'; break;
            case 'r': out += '\r'; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'x': {
                const int high = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
                const int low = i + 3 < text.size() ? HexDigit(text[i + 3]) : -1;
                if (high < 0 || low < 0)
                    Fail("bad escape at " + std::to_string(i + 1) + " of the text");
                out += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default:
                Fail("bad escape at " + std::to_string(i + 1) +
                     " of the text (a backslash is \\\\)");
        }
        ++i;
    }
    return out;
}

// The protocol's UTF-8 from and to the windows' UTF-16.
std::string Utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &narrow[0], size, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(size) - 1);
    return narrow;
}

std::wstring Wide(const std::string& text) {
    const int size =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.c_str(), -1, nullptr, 0);
    if (size <= 0) Fail("the text is not UTF-8");
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], size);
    wide.resize(static_cast<size_t>(size) - 1);
    return wide;
}

void Answer(const std::string& line) {
    fwrite(line.data(), 1, line.size(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

// A deadline on the tick counter; the elapsed time is a difference, so a wrap does no harm.
class Deadline {
public:
    explicit Deadline(DWORD ms) : start_(GetTickCount()), length_(ms) {}
    bool Passed() const { return GetTickCount() - start_ >= length_; }

private:
    DWORD start_;
    DWORD length_;
};

// Polls `ready` until it holds or the time-out passes; true when it held. A query that fails on
// the way (the program was busy, a control was being replaced) only costs that poll.
template <typename Predicate>
bool WaitFor(DWORD timeoutMs, Predicate ready) {
    Deadline deadline(timeoutMs);
    for (;;) {
        try {
            if (ready()) return true;
        } catch (const Failure&) {
        }
        if (deadline.Passed()) return false;
        Sleep(kPollMs);
    }
}

std::string WindowTitle(HWND window) {
    wchar_t buffer[1024] = L"";
    GetWindowTextW(window, buffer, sizeof buffer / sizeof buffer[0]);
    return Utf8(buffer);
}

std::string ClassOf(HWND window) {
    char buffer[256] = "";
    GetClassNameA(window, buffer, sizeof buffer);
    return buffer;
}

LRESULT Query(HWND control, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    SetLastError(0);
    if (!SendMessageTimeoutW(control, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs,
                             &result))
        Fail("no answer from control (message " + std::to_string(message) + ", error " +
             std::to_string(GetLastError()) + ")");
    return static_cast<LRESULT>(result);
}

// Texts travel as UTF-16 between the processes, which the system carries across them for
// WM_GETTEXT (GetWindowText would only give another process's creation caption).
std::string ControlText(HWND control) {
    const LRESULT length = Query(control, WM_GETTEXTLENGTH);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 2, L'\0');
    Query(control, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    return Utf8(buffer.data());
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND FindVisibleTopLevel(const std::string& title) {
    for (HWND window : TopLevelWindows())
        if (IsWindowVisible(window) && WindowTitle(window) == title) return window;
    return nullptr;
}

// The titles quoted and separated by "|" for an answer, or in double quotes for a message.
std::string VisibleTitles(bool forAnswer) {
    std::string titles;
    for (HWND window : TopLevelWindows()) {
        if (!IsWindowVisible(window)) continue;
        const std::string title = WindowTitle(window);
        if (title.empty()) continue;
        if (!titles.empty()) titles += forAnswer ? "|" : ", ";
        titles += forAnswer ? Escape(title) : "\"" + title + "\"";
    }
    return titles;
}

struct ControlSearch {
    int id;
    HWND found;
};

BOOL CALLBACK MatchControl(HWND child, LPARAM param) {
    auto* search = reinterpret_cast<ControlSearch*>(param);
    if (GetDlgCtrlID(child) != search->id) return TRUE;
    search->found = child;
    return FALSE;
}

// The control with this id anywhere below `parent`; a direct child wins over a nested one (the
// plugin tick boxes live inside a container, the welcome picture inside a panel).
HWND FindControl(HWND parent, int id) {
    if (!parent || !IsWindow(parent)) return nullptr;
    if (HWND direct = GetDlgItem(parent, id)) return direct;
    ControlSearch search{id, nullptr};
    EnumChildWindows(parent, MatchControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND CurrentWindow() {
    if (!current) Fail("no current window (use: window <title>)");
    if (!IsWindow(current)) Fail("the current window is gone");
    return current;
}

HWND Control(int id) {
    HWND control = FindControl(CurrentWindow(), id);
    if (!control) Fail("no control " + std::to_string(id));
    return control;
}

bool IsMessageBox(HWND window) {
    return IsWindowVisible(window) && ClassOf(window) == "#32770" &&
           GetDlgItem(window, kMessageTextId) != nullptr;
}

// Splits off the first blank-separated word of `rest`.
std::string NextWord(std::string& rest) {
    const size_t start = rest.find_first_not_of(' ');
    if (start == std::string::npos) {
        rest.clear();
        return std::string();
    }
    const size_t end = rest.find(' ', start);
    std::string word =
        rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
    rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
    return word;
}

long ParseNumber(const std::string& word, const char* what) {
    if (word.empty()) Fail(std::string("missing ") + what);
    char* end = nullptr;
    const long value = std::strtol(word.c_str(), &end, 0);  // decimal, or 0x.. hexadecimal
    if (*end != '\0') Fail(std::string("bad ") + what + ": " + word);
    return value;
}

int ParseId(std::string& rest) { return static_cast<int>(ParseNumber(NextWord(rest), "id")); }

bool ParseFlag(std::string& rest) {
    const std::string word = NextWord(rest);
    if (word == "0") return false;
    if (word == "1") return true;
    Fail("expected 0 or 1, got '" + word + "'");
}

// "state": what a user sees as the control's state, by kind of control.
long ControlState(HWND control) {
    const std::string cls = ClassOf(control);
    if (lstrcmpiA(cls.c_str(), "ComboBox") == 0)
        return static_cast<long>(Query(control, CB_GETCURSEL));
    if (lstrcmpiA(cls.c_str(), "ListBox") == 0)
        return static_cast<long>(Query(control, LB_GETCURSEL));
    if (lstrcmpiA(cls.c_str(), PROGRESS_CLASSA) == 0)
        return static_cast<long>(Query(control, PBM_GETPOS));
    return static_cast<long>(Query(control, BM_GETCHECK));
}

void RequireUsable(HWND control, int id) {
    if (!IsWindowVisible(control)) Fail("control " + std::to_string(id) + " is hidden");
    if (!IsWindowEnabled(control)) Fail("control " + std::to_string(id) + " is disabled");
}

WORD VirtualKey(const std::string& word) {
    static const struct {
        const char* name;
        WORD key;
    } names[] = {{"tab", VK_TAB},       {"enter", VK_RETURN}, {"return", VK_RETURN},
                 {"escape", VK_ESCAPE}, {"esc", VK_ESCAPE},   {"space", VK_SPACE},
                 {"up", VK_UP},         {"down", VK_DOWN},    {"left", VK_LEFT},
                 {"right", VK_RIGHT}};
    for (const auto& n : names)
        if (lstrcmpiA(word.c_str(), n.name) == 0) return n.key;
    const long key = ParseNumber(word, "virtual key");
    if (key <= 0 || key > 0xFE) Fail("bad virtual key: " + word);
    return static_cast<WORD>(key);
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

// Id of the focused control of the window; 0 when the window itself has the focus, -1 when
// nothing in it has.
int FocusId(HWND window) {
    HWND focus = FocusOf(window);
    if (!focus || (focus != window && !IsChild(window, focus))) return -1;
    return focus == window ? 0 : GetDlgCtrlID(focus);
}

// Key press for keyboard navigation tests. When the window is in the foreground the key goes
// through the system's input queue like a real key; otherwise it is posted to the control that
// has the focus in the window's thread, which the program's dialog handling sees all the same.
std::string PressKey(WORD key) {
    HWND window = CurrentWindow();
    HWND focus = FocusOf(window);
    HWND target = focus ? focus : window;
    if (GetForegroundWindow() == window) {
        INPUT inputs[2] = {};
        inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
        inputs[0].ki.wVk = inputs[1].ki.wVk = key;
        inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
        if (SendInput(2, inputs, sizeof(INPUT)) == 2) return "input";
    }
    const UINT scan = MapVirtualKeyA(key, 0 /* MAPVK_VK_TO_VSC */);
    const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
    const LPARAM up = down | (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
    if (!PostMessageA(target, WM_KEYDOWN, key, down) || !PostMessageA(target, WM_KEYUP, key, up))
        Fail("cannot post the key");
    return "post";
}

// A pixel of the window's client area, as the screen shows it.
COLORREF PixelAt(HWND window, int x, int y) {
    HDC dc = GetDC(window);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    if (colour == CLR_INVALID) {
        // Some drivers give no pixels through another process's window DC: read the screen.
        POINT p = {x, y};
        ClientToScreen(window, &p);
        HDC screen = GetDC(nullptr);
        colour = GetPixel(screen, p.x, p.y);
        ReleaseDC(nullptr, screen);
    }
    if (colour == CLR_INVALID) Fail("no pixel at " + std::to_string(x) + " " + std::to_string(y));
    return colour;
}

std::string ColourText(COLORREF colour) {
    return std::to_string(GetRValue(colour)) + " " + std::to_string(GetGValue(colour)) + " " +
           std::to_string(GetBValue(colour));
}

std::string Format4Hex(unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04x", value & 0xFFFF);
    return buffer;
}

// Runs one command; returns the answer's text after "ok" (empty for a plain "ok").
std::string Run(const std::string& verb, std::string rest, DWORD timeoutMs, bool& quit) {
    if (verb == "window") {
        const std::string title = Unescape(rest);
        if (title.empty()) Fail("missing title");
        HWND found = nullptr;
        if (!WaitFor(timeoutMs, [&] { return (found = FindVisibleTopLevel(title)) != nullptr; }))
            Fail("timeout: no window \"" + title + "\" (visible: " + VisibleTitles(false) + ")");
        current = found;
        return std::string();
    }
    if (verb == "windows") return VisibleTitles(true);
    if (verb == "click") {
        const int id = ParseId(rest);
        HWND control = Control(id);
        RequireUsable(control, id);
        // Posted, not sent: a modal box the click opens must not hold the driver.
        if (!PostMessageA(control, BM_CLICK, 0, 0)) Fail("cannot post the click");
        return std::string();
    }
    if (verb == "check") {
        const int id = ParseId(rest);
        const long wanted = ParseFlag(rest) ? BST_CHECKED : BST_UNCHECKED;
        HWND control = Control(id);
        if (Query(control, BM_GETCHECK) == wanted) return std::string();
        RequireUsable(control, id);
        if (!PostMessageA(control, BM_CLICK, 0, 0)) Fail("cannot post the click");
        if (!WaitFor(timeoutMs, [&] { return Query(control, BM_GETCHECK) == wanted; }))
            Fail("timeout: control " + std::to_string(id) + " did not change its state");
        return std::string();
    }
    if (verb == "settext") {
        const int id = ParseId(rest);
        const std::string text = Unescape(rest);
        HWND control = Control(id);
        RequireUsable(control, id);
        // Wide, as Query sends: the system carries a wide text across processes.
        const std::wstring wide = Wide(text);
        Query(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
        if (ControlText(control) != text) Fail("control " + std::to_string(id) + " kept its text");
        return std::string();
    }
    if (verb == "text") return Escape(ControlText(Control(ParseId(rest))));
    if (verb == "state") return std::to_string(ControlState(Control(ParseId(rest))));
    if (verb == "enabled") return IsWindowEnabled(Control(ParseId(rest))) ? "1" : "0";
    if (verb == "visible") return IsWindowVisible(Control(ParseId(rest))) ? "1" : "0";
    if (verb == "exists") return FindControl(CurrentWindow(), ParseId(rest)) ? "1" : "0";
    if (verb == "class") return Escape(ClassOf(Control(ParseId(rest))));
    if (verb == "rect") {
        HWND control = Control(ParseId(rest));
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, CurrentWindow(), reinterpret_cast<POINT*>(&r), 2);
        return std::to_string(r.left) + " " + std::to_string(r.top) + " " +
               std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top);
    }
    if (verb == "origin") {  // the client area's top-left corner on the screen, for screenshots
        POINT p = {0, 0};
        ClientToScreen(CurrentWindow(), &p);
        return std::to_string(p.x) + " " + std::to_string(p.y);
    }
    if (verb == "client") {
        RECT r;
        GetClientRect(CurrentWindow(), &r);
        return std::to_string(r.right) + " " + std::to_string(r.bottom);
    }
    if (verb == "count") {
        const int from = ParseId(rest), to = ParseId(rest);
        HWND window = CurrentWindow();
        int count = 0;
        for (int id = from; id <= to; ++id) {
            HWND control = FindControl(window, id);
            if (control && IsWindowVisible(control)) ++count;
        }
        return std::to_string(count);
    }
    if (verb == "items")
        return std::to_string(static_cast<long>(Query(Control(ParseId(rest)), CB_GETCOUNT)));
    if (verb == "item") {
        HWND control = Control(ParseId(rest));
        const long index = ParseNumber(NextWord(rest), "index");
        const LRESULT length = Query(control, CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
        if (length < 0) Fail("no entry " + std::to_string(index));
        std::vector<wchar_t> buffer(static_cast<size_t>(length) + 2, L'\0');
        Query(control, CB_GETLBTEXT, static_cast<WPARAM>(index),
              reinterpret_cast<LPARAM>(buffer.data()));
        return Escape(Utf8(buffer.data()));
    }
    if (verb == "waittext") {
        const int id = ParseId(rest);
        const std::string wanted = Unescape(rest);
        std::string seen;
        const bool ok = WaitFor(timeoutMs, [&] {
            HWND control = FindControl(CurrentWindow(), id);
            seen = control ? ControlText(control) : std::string();
            return control && seen.find(wanted) != std::string::npos;
        });
        if (!ok)
            Fail("timeout: control " + std::to_string(id) + " text is \"" + seen + "\"");
        return Escape(seen);
    }
    if (verb == "waitenabled" || verb == "waitvisible") {
        const int id = ParseId(rest);
        const bool wanted = ParseFlag(rest);
        const bool enabledTest = verb == "waitenabled";
        const bool ok = WaitFor(timeoutMs, [&] {
            HWND control = FindControl(CurrentWindow(), id);
            if (!control) return false;
            const bool now =
                enabledTest ? IsWindowEnabled(control) != FALSE : IsWindowVisible(control) != FALSE;
            return now == wanted;
        });
        if (!ok)
            Fail("timeout: control " + std::to_string(id) +
                 (enabledTest ? " enabled" : " visible") + " is not " + (wanted ? "1" : "0"));
        return std::string();
    }
    if (verb == "waitgone") {
        const int id = ParseId(rest);
        if (!WaitFor(timeoutMs, [&] { return FindControl(CurrentWindow(), id) == nullptr; }))
            Fail("timeout: control " + std::to_string(id) + " still exists");
        return std::string();
    }
    if (verb == "waitclosed") {
        HWND window = current;
        if (!window) Fail("no current window");
        if (!WaitFor(timeoutMs, [&] { return !IsWindow(window) || !IsWindowVisible(window); }))
            Fail("timeout: the window is still open");
        return std::string();
    }
    if (verb == "select") {
        const int id = ParseId(rest);
        const long index = ParseNumber(NextWord(rest), "index");
        HWND control = Control(id);
        RequireUsable(control, id);
        if (Query(control, CB_SETCURSEL, static_cast<WPARAM>(index)) == CB_ERR)
            Fail("no entry " + std::to_string(index));
        // Posted to the parent as the combo box itself would notify it after a user's choice.
        if (!PostMessageA(GetParent(control), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                          reinterpret_cast<LPARAM>(control)))
            Fail("cannot post the notification");
        return std::string();
    }
    if (verb == "message") {
        HWND box = nullptr;
        const bool ok = WaitFor(timeoutMs, [&] {
            for (HWND window : TopLevelWindows())
                if (IsMessageBox(window)) {
                    box = window;
                    return true;
                }
            return false;
        });
        if (!ok) Fail("timeout: no message box (visible: " + VisibleTitles(false) + ")");
        currentBox = box;
        return Escape(WindowTitle(box)) + "|" +
               Escape(ControlText(GetDlgItem(box, kMessageTextId)));
    }
    if (verb == "answer") {
        const std::string word = NextWord(rest);
        int button;
        if (word == "yes")
            button = IDYES;
        else if (word == "no")
            button = IDNO;
        else if (word == "ok")
            button = IDOK;
        else
            Fail("expected yes, no or ok");
        HWND box = currentBox;
        if (!box || !IsWindow(box)) Fail("no current message box (use: message)");
        HWND control = GetDlgItem(box, button);
        if (!control) Fail("the message box has no " + word + " button");
        if (!PostMessageA(control, BM_CLICK, 0, 0)) Fail("cannot post the click");
        if (!WaitFor(timeoutMs, [&] { return !IsWindow(box) || !IsWindowVisible(box); }))
            Fail("timeout: the message box is still open");
        currentBox = nullptr;
        return std::string();
    }
    if (verb == "close") {
        HWND window = CurrentWindow();
        // A window with a system menu closes the way its close box does; one without it only
        // knows the close request itself.
        const bool systemMenu = (GetWindowLongA(window, GWL_STYLE) & WS_SYSMENU) != 0;
        const BOOL posted = systemMenu ? PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0)
                                       : PostMessageA(window, WM_CLOSE, 0, 0);
        if (!posted) Fail("cannot post the close request");
        return systemMenu ? "syscommand" : "wm_close";
    }
    if (verb == "key") return PressKey(VirtualKey(NextWord(rest)));
    if (verb == "focus") return std::to_string(FocusId(CurrentWindow()));
    if (verb == "waitfocus") {
        // Activation reaches a new window a little after it shows, and moves the focus then.
        const int id = ParseId(rest);
        int seen = -1;
        if (!WaitFor(timeoutMs, [&] { return (seen = FocusId(CurrentWindow())) == id; }))
            Fail("timeout: the focus is on " + std::to_string(seen));
        return std::string();
    }
    if (verb == "pixel" || verb == "waitpixel") {
        const int x = static_cast<int>(ParseNumber(NextWord(rest), "x"));
        const int y = static_cast<int>(ParseNumber(NextWord(rest), "y"));
        if (verb == "pixel") return ColourText(PixelAt(CurrentWindow(), x, y));
        // Drawing happens when the program gets to it: wait for the colour to show.
        const long r = ParseNumber(NextWord(rest), "red"), g = ParseNumber(NextWord(rest), "green"),
                   b = ParseNumber(NextWord(rest), "blue");
        COLORREF seen = CLR_INVALID;
        if (!WaitFor(timeoutMs, [&] {
                seen = PixelAt(CurrentWindow(), x, y);
                return seen == RGB(r, g, b);
            }))
            Fail("timeout: pixel " + std::to_string(x) + " " + std::to_string(y) + " is " +
                 (seen == CLR_INVALID ? std::string("unreadable") : ColourText(seen)));
        return ColourText(seen);
    }
    if (verb == "langid") return Format4Hex(GetUserDefaultLangID());
    if (verb == "timeout") {
        const long ms = ParseNumber(NextWord(rest), "milliseconds");
        if (ms <= 0) Fail("the time-out must be positive");
        defaultTimeoutMs = static_cast<DWORD>(ms);
        return std::string();
    }
    if (verb == "quit") {
        quit = true;
        return std::string();
    }
    Fail("unknown command '" + verb + "'");
}

}  // namespace

int main() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    std::string line;
    bool quit = false;
    while (!quit) {
        line.clear();
        int c;
        while ((c = std::fgetc(stdin)) != EOF && c != '\n') line += static_cast<char>(c);
        if (c == EOF && line.empty()) break;
        if (!line.empty() && line.back() == '\r') line.pop_back();

        std::string rest = line;
        std::string verb = NextWord(rest);
        if (verb.empty()) {
            Answer("error empty command");
            continue;
        }
        DWORD timeoutMs = defaultTimeoutMs;
        try {
            if (verb[0] == '@') {
                const long ms = ParseNumber(verb.substr(1), "time-out");
                if (ms <= 0) Fail("the time-out must be positive");
                timeoutMs = static_cast<DWORD>(ms);
                verb = NextWord(rest);
            }
            const std::string text = Run(verb, rest, timeoutMs, quit);
            Answer(text.empty() ? "ok" : "ok " + text);
        } catch (const Failure& failure) {
            Answer("error " + Escape(failure.what));
        }
    }
    return 0;
}
