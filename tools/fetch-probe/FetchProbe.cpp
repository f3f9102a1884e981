// fetch-probe [--timing] <runtime id> <folder>: downloads a runtime's package
// over HTTP the way the program does, printing the task's messages. Exit
// status 0 only when the download finished with result 0.
//
// Progress (code 5) comes once per received block, tens of thousands of times
// a second on a fast link; printing each would make the console the
// bottleneck, so progress lines are printed at most every 250 ms. The latest
// one is always printed before any other message, so the last progress line
// before the result still shows the final count.
//
// --timing adds a last line "timing: ..." that splits the run into its steps
// (address query and size probe, pre-sizing, transfer, size and MD5 check),
// for bench/http-throughput.sh.
#include "download/HttpTask.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <mutex>

using namespace Velora;

namespace {

constexpr DWORD kProgressEveryMs = 250;

class Clock {
public:
    Clock()
    {
        QueryPerformanceFrequency(&frequency_);
        QueryPerformanceCounter(&start_);
    }
    double Ms() const
    {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return double(now.QuadPart - start_.QuadPart) * 1000.0 / double(frequency_.QuadPart);
    }

private:
    LARGE_INTEGER frequency_;
    LARGE_INTEGER start_;
};

class PrintingListener : public VLDownloadMessage {
public:
    void OnMessage(uint32_t code, const TaskMessage* message) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        const double now = clock_.Ms();
        ++messages_;
        if (code == kMsgDownloaded) {
            pendingProgress_ = true;
            progress_ = *message;
            lastProgressMs_ = now;
            if (now - printedProgressMs_ >= kProgressEveryMs) PrintPendingProgress(now);
            return;
        }
        PrintPendingProgress(now);
        if (code <= kMsgFinalPath) {
            std::wprintf(L"%u %ls %u\n", code, message->text ? message->text : L"", message->value2);
        } else {
            std::wprintf(L"%u %u %u\n", code, message->value1, message->value2);
        }
        std::fflush(stdout);
        if (code == kMsgTotalSize) totalSizeMs_ = now;
        if (code == kMsgPhase && message->value1 == 3 && transferMs_ < 0) transferMs_ = now;
        if (code == kMsgFinished) {
            finishedMs_ = now;
            result = message->value1;
            SetEvent(finished.Get());
        }
    }

    // Once the task has finished: how long each step took.
    void PrintTiming()
    {
        std::lock_guard<std::mutex> guard(lock_);
        const double transfer = transferMs_ < 0 ? finishedMs_ : transferMs_;
        const double received = lastProgressMs_ < transfer ? transfer : lastProgressMs_;
        std::wprintf(L"timing: query and probe %.0f ms, pre-size %.0f ms, transfer %.0f ms, "
                     L"check %.0f ms, %u messages\n",
                     totalSizeMs_, transfer - totalSizeMs_, received - transfer, finishedMs_ - received,
                     messages_);
        std::fflush(stdout);
    }

    VLHandle finished{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    uint32_t result = 1;

private:
    void PrintPendingProgress(double now)
    {
        if (!pendingProgress_) return;
        std::wprintf(L"%u %u %u\n", kMsgDownloaded, progress_.value1, progress_.value2);
        std::fflush(stdout);
        pendingProgress_ = false;
        printedProgressMs_ = now;
    }

    std::mutex lock_;
    Clock clock_;
    bool pendingProgress_ = false;
    TaskMessage progress_{};
    double printedProgressMs_ = -1e9;
    double lastProgressMs_ = -1;
    double totalSizeMs_ = 0;
    double transferMs_ = -1;
    double finishedMs_ = 0;
    uint32_t messages_ = 0;
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const bool timing = argc > 1 && std::wcscmp(argv[1], L"--timing") == 0;
    if (argc != (timing ? 4 : 3)) {
        std::fwprintf(stderr, L"usage: fetch-probe [--timing] <runtime id> <folder>\n");
        return 2;
    }
    wchar_t** args = argv + (timing ? 2 : 1);
    const uint32_t id = uint32_t(std::wcstoul(args[0], nullptr, 10));
    PrintingListener printer;
    VLListenerSlot slot = &printer;
    VLHttpTask* task = new VLHttpTask(id, args[1]);
    task->listener = &slot;
    if (!task->Start()) {
        task->Destroy();
        return 1;
    }
    WaitForSingleObject(printer.finished.Get(), INFINITE);
    slot = nullptr;
    task->Destroy();
    if (timing) printer.PrintTiming();
    return printer.result == kDownloadOk ? 0 : 1;
}
