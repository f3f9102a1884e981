// Peer-to-peer download throughput: a second engine on 127.0.0.1 seeds a
// payload (512 MiB unless a size in MiB is given) and a session of ours
// downloads it through the task handle. Prints the time and MB/s, then the
// time of the two checks of the finished file: the piece check before its
// install, and the engine's check of every piece when the download is taken
// again from its record.
#include "download/BTPieceCheck.h"
#include "download/BTSession.h"
#include "tests/support/TestFolder.h"
#include "tests/support/TestTorrent.h"
#include "tests/support/TorrentSeeder.h"

#include "base/File.h"
#include "base/TextConvert.h"

#include <libtorrent/bencode.hpp>
#include <libtorrent/create_torrent.hpp>
#include <libtorrent/hasher.hpp>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <thread>

namespace {

constexpr int kPieceSize = 1024 * 1024;

// Writes the payload piece by piece and hashes it on the way, so that a
// payload of hundreds of MiB never sits in the 32-bit address space at once.
bool MakeSeedData(const std::wstring& path, int64_t size, std::string& torrent)
{
    lt::file_storage files;
    files.add_file("pkg.exe", size);
    lt::create_torrent maker(files, kPieceSize, lt::create_torrent::v1_only);
    Velora::VLFile file;
    if (!file.Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL)) return false;
    for (lt::piece_index_t piece : files.piece_range()) {
        const std::string bytes = Velora::Test::MakePayload(
            static_cast<size_t>(files.piece_size(piece)), static_cast<uint32_t>(static_cast<int>(piece)) + 1);
        DWORD written = 0;
        if (!file.Write(bytes.data(), static_cast<DWORD>(bytes.size()), &written)) return false;
        maker.set_hash(piece, lt::hasher(bytes.data(), static_cast<int>(bytes.size())).final());
    }
    lt::bencode(std::back_inserter(torrent), maker.generate());
    return true;
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Polls (bounded) until the task holds every byte.
bool WaitDone(Velora::IBTTask& task, int64_t size)
{
    Velora::BTTaskStatus status;
    for (int i = 0; i < 60000; ++i) {
        if (task.GetStatus(&status)->totalWantedDone == size) return true;
        Sleep(10);
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace Velora;
    const int64_t mib = argc > 1 ? std::atoll(argv[1]) : 512;
    const int64_t size = mib * 1024 * 1024;
    Test::TestFolder seedFolder;
    Test::TestFolder folder;
    std::string torrent;
    if (!MakeSeedData(seedFolder / L"pkg.exe", size, torrent)) {
        std::printf("could not write the payload\n");
        return 1;
    }
    Test::TorrentSeeder seeder(torrent, seedFolder.Path());
    if (!seeder.WaitSeeding(120)) {
        std::printf("the seeding engine did not start\n");
        return 1;
    }

    CBTSession session(6881, 6890, VLBTNetwork::LoopbackOnly);
    BTTaskParam param;
    param.savePath = ToMultiByte(folder / L"save");
    param.resumeFile = ToMultiByte(folder / L"save\\pkg.exe.vll");
    param.sourceKind = 1;
    param.torrentData = torrent;
    auto task = session.AddTask(&param, nullptr, nullptr);
    if (!task) {
        std::printf("the task was refused\n");
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    task->Resume();
    seeder.ConnectTo(static_cast<uint16_t>(session.GetListenPort()));
    const bool done = WaitDone(*task, size);
    const double seconds = SecondsSince(start);
    session.RemoveTask(task.get(), BTRemoveMode::KeepFiles);
    if (!done) {
        std::printf("download incomplete after %.1f s\n", seconds);
        return 1;
    }
    std::printf("peer-to-peer download of %lld MiB over loopback: %.2f s, %.1f MB/s\n",
                static_cast<long long>(mib), seconds, size / seconds / 1e6);

    auto checkStart = std::chrono::steady_clock::now();
    const bool passed = CheckPieces(folder / L"save\\pkg.exe", reinterpret_cast<const unsigned char*>(torrent.data()),
                                    torrent.size())
                            .Passed();
    double checked = SecondsSince(checkStart);
    std::printf("piece check of the finished file: %s, %.2f s, %.1f MB/s (%u processors)\n",
                passed ? "passed" : "FAILED", checked, size / checked / 1e6, std::thread::hardware_concurrency());

    checkStart = std::chrono::steady_clock::now();
    auto resumed = session.AddTaskFromRecord(param.resumeFile, false, nullptr, nullptr);
    if (!resumed) {
        std::printf("the record was refused\n");
        return 1;
    }
    resumed->Resume();
    const bool rechecked = WaitDone(*resumed, size);
    checked = SecondsSince(checkStart);
    session.RemoveTask(resumed.get(), BTRemoveMode::ForgetRecord);
    std::printf("engine's check of the download taken again from its record: %s, %.2f s, %.1f MB/s\n",
                rechecked ? "complete" : "INCOMPLETE", checked, size / checked / 1e6);
    return passed && rechecked ? 0 : 1;
}
