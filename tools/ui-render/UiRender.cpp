// ui-render <markup file> <width> <height> <out.bmp> [events file]
// ui-render --batch <list file>
//
// Builds the markup file (its first window, or the bare window element) into
// a window of the client size given, lays it out and paints it, replays the
// mouse events of the events file (one a line: "move|down|up|rdown|rup|dblclk|
// leave x y" in client coordinates, or "wheel x y delta"), then writes the
// back buffer as a 32-bit BMP. Each notification is printed on its own line
// as "<type> <sender name> <sender id>". Width and height are whole numbers
// from 1 to 8192. A menu an event opens (an edit's context menu) is ended at
// once: no user is there to close it.
//
// With --batch, every line of the list file (UTF-8) holds the arguments of
// one run separated by tabs; each run is framed by the lines "case <n>" and
// "end <n> <status>" (status as the exit status of a single run), so that
// many markups share one start of the process. The exit status is 1 only when
// the list cannot be read.
#include "base/File.h"
#include "base/TextConvert.h"
#include "base/UniqueHandle.h"
#include "ui/controls/ControlElements.h"
#include "ui/core/MarkupBuilder.h"
#include "ui/core/UIResources.h"
#include "ui/core/WindowImplBase.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <fcntl.h>
#include <fstream>
#include <io.h>
#include <sstream>
#include <string>
#include <vector>

using namespace Velora;

namespace {

class RenderWindow : public VLWindowImplBase {
public:
    explicit RenderWindow(std::wstring markup) : markup_(std::move(markup)) {}
    const wchar_t* GetWindowClassName() const override { return L"VLRenderWindow"; }
    LRESULT OnCreate(UINT, WPARAM, LPARAM, bool&) override
    {
        paintManager.Init(window_);
        VLPaintManager::RegisterManager(&paintManager);
        VLMarkupBuilder builder;
        VLControl* root = builder.Create(markup_.c_str(), nullptr, nullptr, kMarkupFile, &paintManager);
        if (TiXmlElement* first = root ? nullptr : builder.FirstWindow())
            root = builder.ParseWindow(first, &paintManager);
        paintManager.AttachRoot(root);
        paintManager.AddNotifier(this);
        return 0;
    }
    void Notify(VLNotifyMsg& msg) override
    {
        const std::wstring name = msg.sender ? msg.sender->GetName() : std::wstring();
        const int id = msg.sender ? msg.sender->GetId() : 0;
        std::printf("%d %s %d\n", msg.type, name.empty() ? "-" : ToMultiByte(name).c_str(), id);
        std::fflush(stdout);
    }

private:
    std::wstring markup_;
};

// The system's own timer ticks (WM_SYSTIMER): mouse tracking polls for the
// pointer's leaving at the hover time, at least every 10 ms, for as long as
// the pointer rests in the window, long after the hover was answered.
constexpr UINT kSystemTimer = 0x0118;

// The window is idle once 15 ms pass with nothing for it to do; a tick of the
// system's timers is none, though what it posts (a hover) is.
void PumpUntilIdle()
{
    MSG msg;
    for (int idle = 0; idle < 3; Sleep(5)) {
        bool any = false;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            any = any || msg.message != kSystemTimer;
            if (!VLPaintManager::PreTranslateAll(msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        idle = any ? 0 : idle + 1;
    }
}

bool PostEvent(HWND hwnd, const std::string& line)
{
    std::istringstream in(line);
    std::string kind;
    int x = 0, y = 0, delta = 0;
    if (!(in >> kind)) return true; // blank line
    if (!(in >> x >> y)) return false;
    static const struct {
        const char* name;
        UINT message;
        WPARAM keys;
    } kinds[] = {{"move", WM_MOUSEMOVE, 0},           {"down", WM_LBUTTONDOWN, MK_LBUTTON},
                 {"up", WM_LBUTTONUP, 0},             {"rdown", WM_RBUTTONDOWN, MK_RBUTTON},
                 {"rup", WM_RBUTTONUP, 0},            {"dblclk", WM_LBUTTONDBLCLK, MK_LBUTTON},
                 {"leave", WM_MOUSELEAVE, 0}};
    if (kind == "wheel") {
        if (!(in >> delta)) return false;
        POINT screen = {x, y};
        ClientToScreen(hwnd, &screen);
        return PostMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), MAKELPARAM(screen.x, screen.y)) != FALSE;
    }
    for (const auto& k : kinds) {
        if (kind == k.name) return PostMessageW(hwnd, k.message, k.keys, MAKELPARAM(x, y)) != FALSE;
    }
    return false;
}

// Every menu a run opens is ended, since its modal loop would wait for a user
// forever. An edit opens its context menu without any notification, so each
// new menu window sets a one-shot timer instead: the menu's loop dispatches
// its message once it runs, and the timer ends the menu.
void CALLBACK EndMenus(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    EndMenu();
}

LRESULT CALLBACK WatchMenus(int code, WPARAM wParam, LPARAM lParam)
{
    wchar_t name[8] = {};
    if (code == HCBT_CREATEWND && GetClassNameW(reinterpret_cast<HWND>(wParam), name, 8) &&
        std::wcscmp(name, L"#32768") == 0) // the system's menu window class
        SetTimer(nullptr, 0, USER_TIMER_MINIMUM, EndMenus);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A width or height: decimal digits alone, 1 to 8192; 0 for anything else.
int ParseSize(const std::wstring& text)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of(L"0123456789") != std::wstring::npos) return 0;
    const int size = _wtoi(text.c_str());
    return size <= 8192 ? size : 0;
}

// The back buffer as it lies in memory: a bottom-up 32-bit DIB.
bool WriteBitmap(HBITMAP bitmap, int width, int height, const std::wstring& path)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    std::vector<unsigned char> pixels(size_t(width) * height * 4);
    VLWindowDC screen(nullptr);
    if (GetDIBits(screen.Get(), bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
                  DIB_RGB_COLORS) != height)
        return false;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
    VLFile out;
    DWORD written = 0;
    return out.Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL) &&
           out.Write(&file, sizeof(file), &written) && out.Write(&header, sizeof(header), &written) &&
           out.Write(pixels.data(), static_cast<DWORD>(pixels.size()), &written);
}

int Fail(const char* message)
{
    std::fprintf(stderr, "ui-render: %s\n", message);
    return 1;
}

// The arguments of one run.
struct Job {
    std::wstring markup;
    std::wstring width, height;
    std::wstring bitmap;
    std::wstring events; // empty: none
};

int Render(const Job& job)
{
    const int width = ParseSize(job.width), height = ParseSize(job.height);
    if (!width || !height) {
        const std::string given = ToMultiByte(job.width) + " and " + ToMultiByte(job.height);
        return Fail(("width and height must be whole numbers from 1 to 8192, not " + given).c_str());
    }
    std::vector<std::string> events;
    if (!job.events.empty()) {
        std::ifstream in(job.events.c_str());
        if (!in) return Fail("cannot read the events file");
        for (std::string line; std::getline(in, line);) events.push_back(line);
    }
    RenderWindow window(job.markup);
    if (!window.Create(nullptr, L"ui-render", WS_POPUP, 0, 0, 0, width, height))
        return Fail("cannot create the window");
    // Gone with its tree at the end of every run, so that runs of a batch
    // never meet.
    const VLUniqueHandle<HWND, &DestroyWindow> destroyed(window);
    if (!window.paintManager.GetRoot()) return Fail("the markup built no control");
    window.ShowWindow(true, false);
    UpdateWindow(window);
    PumpUntilIdle();
    for (const std::string& line : events) {
        if (!PostEvent(window, line)) return Fail(("bad event line: " + line).c_str());
        PumpUntilIdle();
    }
    const RECT client = {0, 0, width, height};
    if (!window.paintManager.PaintBackBuffer(client)) return Fail("cannot paint the back buffer");
    if (!WriteBitmap(window.paintManager.GetOffscreenBitmap(), width, height, job.bitmap))
        return Fail("cannot write the bitmap");
    return 0;
}

std::vector<std::wstring> SplitTabs(const std::wstring& line)
{
    std::vector<std::wstring> fields;
    std::wistringstream in(line);
    for (std::wstring field; std::getline(in, field, L'\t');) fields.push_back(field);
    return fields;
}

int RenderBatch(const wchar_t* list)
{
    std::ifstream in(list);
    if (!in) return Fail("cannot read the list file");
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const std::vector<std::wstring> fields = SplitTabs(MultiByteToWideCP(line.c_str(), -1, CP_UTF8, nullptr));
        std::printf("case %d\n", ++number);
        std::fflush(stdout);
        int status = 1;
        if (fields.size() != 4 && fields.size() != 5)
            Fail("a list line holds 4 or 5 tab-separated fields");
        else
            status = Render({fields[0], fields[1], fields[2], fields[3],
                             fields.size() == 5 ? fields[4] : std::wstring()});
        std::printf("end %d %d\n", number, status);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    VLUIResources::Instance()->SetInstance(GetModuleHandleW(nullptr));
    RegisterControlElements();
    const VLUniqueHandle<HHOOK, &UnhookWindowsHookEx> watching(
        SetWindowsHookExW(WH_CBT, WatchMenus, nullptr, GetCurrentThreadId()));
    if (argc == 3 && std::wcscmp(argv[1], L"--batch") == 0) return RenderBatch(argv[2]);
    if (argc != 5 && argc != 6)
        return Fail("usage: ui-render <markup file> <width> <height> <out.bmp> [events file]\n"
                    "       ui-render --batch <list file>");
    return Render({argv[1], argv[2], argv[3], argv[4], argc == 6 ? argv[5] : std::wstring()});
}
