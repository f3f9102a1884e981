// fetch-probe [--timing] <runtime id> <folder>: downloads a runtime's package
// the way the program does, over HTTP or BitTorrent as the address service
// says, printing the tasks' messages. The BitTorrent manager runs on the
// folder (seed limit 5), so the package, its task record, the torrent copy
// and "seeds.xml" all land there. The last line is
// "result: 0x<result> file: <path>"; exit status 0 only when the download
// succeeded.
//
// Progress (code 5) comes once per received block, tens of thousands of times
// a second on a fast link; printing each would make the console the
// bottleneck, so progress lines are printed at most every 250 ms. The latest
// one is always printed before any other message, so the last progress line
// before the result still shows the final count.
//
// --timing adds a line "timing: ..." that splits the run into its steps
// (address query and size probe, pre-sizing, transfer, size and MD5 check),
// for bench/http-throughput.sh.
#include "download/BTManager.h"
#include "download/DownloadSingleFile.h"
#include "download/XmlDocument.h"

#include "base/PathUtil.h"
#include "base/Singleton.h"
#include "base/StringUtil.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <mutex>

using namespace Velora;

namespace {

constexpr DWORD kProgressEveryMs = 250;
// How long a finished BitTorrent download may take to reach the seed list.
constexpr DWORD kSeedListWaitMs = 30000;

std::wstring g_folder;

std::wstring ProbeFolder(unsigned int)
{
    return g_folder;
}

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

class PrintingDownload : public VLDownloadSingleFile {
public:
    void OnMessage(uint32_t code, const TaskMessage* message) override
    {
        Print(code, *message);
        VLDownloadSingleFile::OnMessage(code, message);
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

    uint32_t result = kErrThreadNotStarted;

private:
    void Print(uint32_t code, const TaskMessage& message)
    {
        std::lock_guard<std::mutex> guard(lock_);
        const double now = clock_.Ms();
        ++messages_;
        if (code == kMsgDownloaded) {
            pendingProgress_ = true;
            progress_ = message;
            lastProgressMs_ = now;
            if (now - printedProgressMs_ >= kProgressEveryMs) PrintPendingProgress(now);
            return;
        }
        PrintPendingProgress(now);
        if (code <= kMsgFinalPath) {
            std::wprintf(L"%u %ls %u\n", code, message.text ? message.text : L"", message.value2);
        } else {
            std::wprintf(L"%u %u %u\n", code, message.value1, message.value2);
        }
        std::fflush(stdout);
        if (code == kMsgTotalSize) totalSizeMs_ = now;
        if (code == kMsgPhase && message.value1 == 3 && transferMs_ < 0) transferMs_ = now;
        if (code == kMsgFinished) {
            finishedMs_ = now;
            result = message.value1;
        }
    }

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

bool SeedListed(const std::wstring& file, uint32_t id)
{
    VLXmlDocument document;
    TiXmlElement* root = document.Load(file) ? FirstChildElement(&document, L"Seeds") : nullptr;
    for (TiXmlElement* seed = root ? FirstChildElement(root, L"Seed") : nullptr; seed;
         seed = seed->NextSiblingElement()) {
        std::wstring text;
        if (GetElementText(FirstChildElement(seed, L"gameId"), text) && StringToUInt64(text.c_str()) == id)
            return true;
    }
    return false;
}

// A finished BitTorrent download is handed to the seed list on the session's
// thread after the result; the probe ends only once the list is written.
bool WaitSeedListed(uint32_t id)
{
    const std::wstring file = CombinePath(g_folder, L"seeds.xml");
    for (DWORD waited = 0; waited < kSeedListWaitMs; waited += 100) {
        if (SeedListed(file, id)) return true;
        Sleep(100);
    }
    return false;
}

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
    g_folder = args[1];
    VLBTManager& manager = VLSingleton<VLBTManager>::GetInstance();
    if (!manager.Init(g_folder, 5)) {
        std::fwprintf(stderr, L"fetch-probe: the BitTorrent session cannot listen on ports 6881 to 6890\n");
        return 1;
    }
    bool succeeded = false;
    uint32_t result = kErrThreadNotStarted;
    std::wstring file;
    {
        PrintingDownload download;
        download.SetFolderCallback(&ProbeFolder);
        if (download.Start(id)) WaitForSingleObject(download.GetFinishEvent(), INFINITE);
        succeeded = download.IsSucceeded();
        result = download.result;
        file = download.GetFilePath();
        if (succeeded && download.GetTaskKind() == DownloadTaskKind::BitTorrent && !WaitSeedListed(id)) {
            std::wprintf(L"the finished download did not reach the seed list\n");
            succeeded = false;
        }
        if (timing) download.PrintTiming();
    }
    manager.Shutdown();
    std::wprintf(L"result: 0x%08X file: %ls\n", result, file.c_str());
    return succeeded ? 0 : 1;
}
