// fetch-probe <runtime id> <folder>: downloads a runtime's package over HTTP
// the way the program does, printing every task message. Exit status 0 only
// when the download finished with result 0.
#include "download/HttpTask.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <mutex>

using namespace Velora;

namespace {

class PrintingListener : public VLDownloadMessage {
public:
    void OnMessage(uint32_t code, const TaskMessage* message) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (code <= kMsgFinalPath) {
            std::wprintf(L"%u %ls %u\n", code, message->text ? message->text : L"", message->value2);
        } else {
            std::wprintf(L"%u %u %u\n", code, message->value1, message->value2);
        }
        std::fflush(stdout);
        if (code == kMsgFinished) {
            result = message->value1;
            SetEvent(finished.Get());
        }
    }

    VLHandle finished{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    uint32_t result = 1;

private:
    std::mutex lock_;
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::fwprintf(stderr, L"usage: fetch-probe <runtime id> <folder>\n");
        return 2;
    }
    const uint32_t id = uint32_t(std::wcstoul(argv[1], nullptr, 10));
    PrintingListener printer;
    VLListenerSlot slot = &printer;
    VLHttpTask* task = new VLHttpTask(id, argv[2]);
    task->listener = &slot;
    if (!task->Start()) {
        task->Destroy();
        return 1;
    }
    WaitForSingleObject(printer.finished.Get(), INFINITE);
    slot = nullptr;
    task->Destroy();
    return printer.result == kDownloadOk ? 0 : 1;
}
