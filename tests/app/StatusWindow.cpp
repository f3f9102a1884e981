#include "tests/app/StatusWindow.h"

#include <string>

namespace Velora::Test {
namespace {

const wchar_t kClassName[] = L"VLTestStatusWindow";

std::string Narrow(const wchar_t* text)
{
    std::string narrow;
    for (; *text; ++text) narrow += char(*text);
    return narrow;
}

std::string Token(const HarrowStatusRecord& record)
{
    const auto& payload = record.payload;
    std::string values;
    if (record.type == HarrowStatusType::STATUS_DOWNLOAD_PROGRESS)
        values = std::to_string(payload.progress.total) + "," + std::to_string(payload.progress.downloaded) + "," +
                 std::to_string(payload.progress.speed);
    else if (record.type == HarrowStatusType::STATUS_DETECT_ITEM ||
             record.type == HarrowStatusType::STATUS_DOWNLOAD_BEGIN)
        values = std::to_string(payload.named.value1) + "," + Narrow(payload.named.name);
    else
        values = std::to_string(payload.pair.value1) + "," + std::to_string(payload.pair.value2);
    return std::to_string(static_cast<int>(record.type)) + "(" + values + ")";
}

} // namespace

StatusWindow::StatusWindow()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass); // fails harmlessly from the second window on
    window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance,
                              nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    sink->SetWindow(window_);
}

StatusWindow::~StatusWindow()
{
    sink->SetWindow(nullptr);
    DestroyWindow(window_);
}

LRESULT CALLBACK StatusWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<StatusWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message != WM_HARROW_STATUS || !self) return DefWindowProcW(window, message, wParam, lParam);
    HarrowStatusRecord record;
    if (self->sink->Pop(record))
        self->records.push_back(record);
    else
        ++self->emptyMessages;
    return 0;
}

void StatusWindow::Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

bool StatusWindow::RunUntilEnded(HANDLE thread)
{
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= 30000) return false;
        const DWORD result = MsgWaitForMultipleObjects(1, &thread, FALSE, 30000 - waited, QS_ALLINPUT);
        Pump();
        if (result == WAIT_OBJECT_0) return true;
    }
}

std::string StatusWindow::Trace() const
{
    std::string trace;
    for (const HarrowStatusRecord& record : records) trace += (trace.empty() ? "" : " ") + Token(record);
    return trace;
}

} // namespace Velora::Test
