#include "install/CompressProgress.h"

#include <cwchar>

namespace Velora {

namespace {

std::wstring Quoted(const wchar_t* text)
{
    return L"\"" + std::wstring(text ? text : L"") + L"\"";
}

} // namespace

std::wstring DescribeEvent(const VLUnpackEvent& event)
{
    wchar_t line[64];
    swprintf(line, 64, L"event 0x%08X: ", unsigned(event.code));
    std::wstring text = line;
    switch (event.code >> 28) {
    case 1: // a file: its path and the system's error
        swprintf(line, 64, L" (error %u)", unsigned(event.value2.number));
        return text + Quoted(event.value1.text) + (event.original ? L" from " + Quoted(event.original) : L"") + line;
    case 2: // the registry: key and value names, what failed and the error
    case 4: // the script: verb, arguments, and the program's exit code
        swprintf(line, 64, L" %u %u", unsigned(event.value3), unsigned(event.value4));
        return text + Quoted(event.value1.text) + L" " + Quoted(event.value2.text) + line;
    default:
        swprintf(line, 64, L"%u %u", unsigned(event.value1.number), unsigned(event.value2.number));
        return text + line;
    }
}

VLCompressProgress::VLCompressProgress() : pauseEvent(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

VLCompressProgress::~VLCompressProgress() = default;

void VLCompressProgress::SetPaused(bool paused)
{
    if (!pauseEvent.handle.Valid()) return;
    if (paused)
        ResetEvent(pauseEvent.handle.Get());
    else
        SetEvent(pauseEvent.handle.Get());
}

void VLCompressProgress::WaitWhilePaused()
{
    if (pauseEvent.handle.Valid()) WaitForSingleObject(pauseEvent.handle.Get(), INFINITE);
}

void VLCompressProgress::Throttle()
{
    const uint32_t ms = throttle;
    if (ms != kNoThrottle) Sleep(ms);
}

} // namespace Velora
