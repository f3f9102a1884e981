// ui-driver: drives another program's top-level window from a script, in the
// same Wine prefix and display. Every command but wait-process first waits
// for a top-level window of the class (up to the time-out, 10 s by default).
//
//   find <class> [ms]               prints the window's facts (below)
//   click <class> <x> <y>           left click at client coordinates
//   wheel <class> <x> <y> <notches> wheel turns (positive: away from the user)
//   close <class>                   posts WM_CLOSE
//   minimize <class>                posts the minimise command
//   capture <class> <file.bmp>      saves the client area as a 24-bit BMP
//   wait-gone <class> [ms]          waits until no such window exists
//   wait-process <pid> [ms]         prints "holding" once it holds the process
//                                   (it may end from then on), then "exit N"
//   probe <class> <ms>              asks the window every 50 ms whether it
//                                   answers (WM_NULL) within 200 ms, until it
//                                   is gone or ms have passed; prints the count
//                                   of questions, each one unanswered in time,
//                                   and the slowest answer
//
// find prints one fact per line: "window <handle> <pid>", "title <UTF-8>",
// "rect <left> <top> <right> <bottom>" (screen), "client <width> <height>",
// "origin <x> <y>" (client origin on the screen), "style <hex> <hex ex>" and
// "state" followed by "visible" and "iconic" when they hold.
//
// Exit status: 0 done, 1 time-out (no window, it did not go, or it left a
// probe unanswered), 2 usage or a failed call. Input is posted, as a script needs no real pointer: the
// messages reach the window under the point in its client coordinates.
#include "base/GdiScope.h"
#include "base/Handles.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

using namespace Velora;

namespace {

constexpr DWORD kDefaultTimeoutMs = 10000;
constexpr int kUsage = 2;

DWORD Number(const wchar_t* text)
{
    return DWORD(std::wcstoul(text, nullptr, 0));
}

HWND WaitForWindow(const wchar_t* className, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        // A window that is created but not shown yet has no size to click in
        // or capture: the program sizes and centres it before showing it.
        HWND window = FindWindowW(className, nullptr);
        if (window && IsWindowVisible(window)) return window;
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(50);
    }
}

void PrintUtf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), &bytes[0], size, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

int Find(HWND window)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t title[512] = {};
    GetWindowTextW(window, title, 512);
    RECT rect = {}, client = {};
    GetWindowRect(window, &rect);
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    std::printf("window 0x%lx %lu\ntitle ", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)), process);
    PrintUtf8(title);
    std::printf("\nrect %ld %ld %ld %ld\nclient %ld %ld\norigin %ld %ld\nstyle 0x%08lx 0x%08lx\nstate%s%s\n",
                rect.left, rect.top, rect.right, rect.bottom, client.right, client.bottom, origin.x, origin.y,
                GetWindowLongW(window, GWL_STYLE), GetWindowLongW(window, GWL_EXSTYLE),
                IsWindowVisible(window) ? " visible" : "", IsIconic(window) ? " iconic" : "");
    return 0;
}

// The deepest visible child under the client point, and the point in its
// own client coordinates.
HWND TargetAt(HWND window, POINT& point)
{
    for (;;) {
        HWND child = ChildWindowFromPointEx(window, point, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED);
        if (!child || child == window) return window;
        MapWindowPoints(window, child, &point, 1);
        window = child;
    }
}

int Click(HWND window, int x, int y)
{
    POINT point = {x, y};
    HWND target = TargetAt(window, point);
    const LPARAM at = MAKELPARAM(point.x, point.y);
    PostMessageW(target, WM_MOUSEMOVE, 0, at);
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
    return PostMessageW(target, WM_LBUTTONUP, 0, at) ? 0 : kUsage;
}

int Wheel(HWND window, int x, int y, int notches)
{
    POINT point = {x, y};
    HWND target = TargetAt(window, point);
    PostMessageW(target, WM_MOUSEMOVE, 0, MAKELPARAM(point.x, point.y));
    // The wheel message carries screen coordinates.
    POINT screen = {x, y};
    ClientToScreen(window, &screen);
    const int step = notches < 0 ? -WHEEL_DELTA : WHEEL_DELTA;
    for (int i = 0; i < (notches < 0 ? -notches : notches); ++i) {
        if (!PostMessageW(target, WM_MOUSEWHEEL, MAKEWPARAM(0, step), MAKELPARAM(screen.x, screen.y))) return kUsage;
    }
    return 0;
}

bool WriteBitmapFile(const wchar_t* path, const std::vector<unsigned char>& rows, int width, int height)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = -height; // top-down, as captured
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = DWORD(file.bfOffBits + rows.size());
    VLHandle out(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return out.Valid() && WriteFile(out.Get(), &file, sizeof(file), &written, nullptr) &&
           WriteFile(out.Get(), &header, sizeof(header), &written, nullptr) &&
           WriteFile(out.Get(), rows.data(), DWORD(rows.size()), &written, nullptr) && written == rows.size();
}

int Capture(HWND window, const wchar_t* path)
{
    RECT client = {};
    GetClientRect(window, &client);
    const int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0) return kUsage;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    std::vector<unsigned char> rows(stride * size_t(height));
    {
        VLWindowDC source(window);
        VLMemoryDC memory(CreateCompatibleDC(source.Get()));
        VLBitmap bitmap(CreateCompatibleBitmap(source.Get(), width, height));
        if (!source.Get() || !memory.Valid() || !bitmap.Valid()) return kUsage;
        {
            VLSelectObject selected(memory.Get(), bitmap.Get());
            if (!BitBlt(memory.Get(), 0, 0, width, height, source.Get(), 0, 0, SRCCOPY)) return kUsage;
        }
        if (GetDIBits(memory.Get(), bitmap.Get(), 0, UINT(height), rows.data(), &info, DIB_RGB_COLORS) != height) {
            return kUsage;
        }
    }
    return WriteBitmapFile(path, rows, width, height) ? 0 : kUsage;
}

int WaitGone(const wchar_t* className, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (FindWindowW(className, nullptr)) {
        if (GetTickCount() - start >= timeoutMs) return 1;
        Sleep(50);
    }
    return 0;
}

int WaitProcess(DWORD pid, DWORD timeoutMs)
{
    VLHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process.Valid()) return kUsage;
    // A process that ends before it is held cannot be opened any more.
    std::printf("holding\n");
    std::fflush(stdout);
    if (WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) return 1;
    DWORD code = 0;
    if (!GetExitCodeProcess(process.Get(), &code)) return kUsage;
    std::printf("exit %lu\n", code);
    return 0;
}

int Probe(HWND window, DWORD timeoutMs)
{
    constexpr DWORD kAnswerMs = 200, kEveryMs = 50;
    const DWORD start = GetTickCount();
    int asked = 0, late = 0;
    DWORD slowest = 0;
    while (GetTickCount() - start < timeoutMs) {
        const DWORD sent = GetTickCount();
        DWORD_PTR result = 0;
        const bool answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerMs, &result) != 0;
        const DWORD took = GetTickCount() - sent;
        // A window destroyed meanwhile has nothing left to answer.
        if (!IsWindow(window)) break;
        ++asked;
        if (took > slowest) slowest = took;
        // The system's time-out is the judge: what this prober measures also
        // counts its own waits for the processor on a busy machine.
        if (!answered) {
            ++late;
            std::printf("unanswered at %lu ms\n", static_cast<unsigned long>(sent - start));
        }
        if (took < kEveryMs) Sleep(kEveryMs - took);
    }
    std::printf("asked %d late %d slowest %lu ms\n", asked, late, static_cast<unsigned long>(slowest));
    return late == 0 ? 0 : 1;
}

int Usage()
{
    std::fprintf(stderr, "usage: ui-driver find|click|wheel|close|minimize|capture|probe|wait-gone <class> [...]\n"
                         "       ui-driver wait-process <pid> [ms]\n");
    return kUsage;
}

int Run(int argc, wchar_t** argv)
{
    if (argc < 3) return Usage();
    const std::wstring command = argv[1];
    const wchar_t* className = argv[2];
    if (command == L"wait-process") return WaitProcess(Number(argv[2]), argc > 3 ? Number(argv[3]) : kDefaultTimeoutMs);
    if (command == L"wait-gone") return WaitGone(className, argc > 3 ? Number(argv[3]) : kDefaultTimeoutMs);

    const bool find = command == L"find";
    HWND window = WaitForWindow(className, find && argc > 3 ? Number(argv[3]) : kDefaultTimeoutMs);
    if (!window) {
        std::fprintf(stderr, "ui-driver: no window of class %ls\n", className);
        return 1;
    }
    if (find) return Find(window);
    if (command == L"close") return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : kUsage;
    if (command == L"minimize") return PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0) ? 0 : kUsage;
    if (command == L"capture" && argc == 4) return Capture(window, argv[3]);
    if (command == L"probe" && argc == 4) return Probe(window, Number(argv[3]));
    if (command == L"click" && argc == 5) return Click(window, int(std::wcstol(argv[3], nullptr, 10)),
                                                       int(std::wcstol(argv[4], nullptr, 10)));
    if (command == L"wheel" && argc == 6) {
        return Wheel(window, int(std::wcstol(argv[3], nullptr, 10)), int(std::wcstol(argv[4], nullptr, 10)),
                     int(std::wcstol(argv[5], nullptr, 10)));
    }
    return Usage();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    // Lines end in a bare line feed, whatever reads them.
    _setmode(_fileno(stdout), _O_BINARY);
    const int status = Run(argc, argv);
    std::fflush(stdout);
    return status;
}
