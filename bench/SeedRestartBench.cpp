// seed-restart-bench make <folder> <seeds> <MiB>: leaves that many finished
// downloads of that size in the folder, each with its record and torrent
// copy, as the seed list keeps them.
// seed-restart-bench start <folder> <seeds> [checked]: adds each record back
// as a seed, the way a start of the program does (with "checked", as a
// download, whose pieces the engine checks on disk: what every start did to
// its seeds before), and prints how long it took until all of them seed and
// the CPU time spent. bench/seed-restart.sh measures what the start read of
// the data files.
#include "download/BTSession.h"
#include "tests/support/TestTorrent.h"

#include "base/TextConvert.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

using namespace Velora;

namespace {

constexpr int kWaitMs = 600000;

std::wstring Name(const std::wstring& folder, int i, const wchar_t* suffix)
{
    return folder + L"\\pkg" + std::to_wstring(i) + L".exe" + suffix;
}

bool WaitSeeding(IBTTask& task)
{
    for (int waited = 0; waited < kWaitMs; waited += 50) {
        BTTaskStatus status;
        if (task.GetStatus(&status)->state == int32_t(BTTorrentState::Seeding)) return true;
        Sleep(50);
    }
    return false;
}

bool WriteWhole(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool whole = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    return whole;
}

double CpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) { return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7; };
    return seconds(kernel) + seconds(user);
}

int Make(CBTSession& session, const std::wstring& folder, int seeds, int mib)
{
    for (int i = 0; i < seeds; ++i) {
        const std::string payload = Test::MakePayload(size_t(mib) * 1048576, 70 + i);
        if (!WriteWhole(Name(folder, i, L""), payload)) return 1;
        BTTaskParam param;
        param.savePath = ToMultiByte(folder);
        param.resumeFile = ToMultiByte(Name(folder, i, L".vll"));
        param.sourceKind = 1;
        param.torrentData = Test::MakeTorrent("pkg" + std::to_string(i) + ".exe", payload, 1048576);
        std::shared_ptr<IBTTask> task = session.AddTask(&param, nullptr, nullptr);
        if (!task) return 1;
        task->Resume();
        if (!WaitSeeding(*task)) return 1;
        session.RemoveTask(task.get(), BTRemoveMode::KeepFiles);
    }
    return 0;
}

int Start(CBTSession& session, const std::wstring& folder, int seeds, bool asSeeds)
{
    const DWORD started = GetTickCount();
    const double cpu = CpuSeconds();
    std::vector<std::shared_ptr<IBTTask>> tasks;
    for (int i = 0; i < seeds; ++i) {
        tasks.push_back(session.AddTaskFromRecord(ToMultiByte(Name(folder, i, L".vll")), asSeeds, nullptr, nullptr));
        if (!tasks.back()) return 1;
        tasks.back()->Resume();
    }
    for (const auto& task : tasks)
        if (!WaitSeeding(*task)) return 1;
    std::printf("seed-restart: %d seeds seeding after %lu ms, %.2f s CPU\n", seeds, GetTickCount() - started,
                CpuSeconds() - cpu);
    for (const auto& task : tasks) session.RemoveTask(task.get(), BTRemoveMode::KeepFiles);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) return 2;
    const std::wstring mode = argv[1], folder = argv[2];
    const int seeds = _wtoi(argv[3]);
    CBTSession session(6881, 6890, VLBTNetwork::LoopbackOnly);
    if (mode == L"make" && argc == 5) return Make(session, folder, seeds, _wtoi(argv[4]));
    if (mode == L"start") return Start(session, folder, seeds, argc < 5 || std::wstring(argv[4]) != L"checked");
    return 2;
}
