#include "app/RepairThread.h"

#include "app/HarrowInstallerFactory.h"
#include "app/WorkerThread.h"
#include "base/Handles.h"
#include "tests/app/StatusWindow.h"
#include "tests/support/PackageWriter.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <deque>

namespace Velora {
namespace {

using namespace Velora::Test;

// Each poll of the download's progress or of the install's Wait is one step;
// the step named "cancelAt" presses cancel, as the window's button would.
struct DownloadScript {
    bool starts = true;
    bool waitFails = false;
    int steps = 0; // steps until the finish event is signalled
    bool succeeds = true;
    int cancelAt = 0;
};

struct InstallScript {
    bool inner = true;
    int steps = 0; // Wait answers false this many times
    bool succeeds = true;
    int cancelAt = 0;
};

struct Script {
    std::shared_ptr<VLHarrowStatusSink> sink;
    std::deque<DownloadScript> downloads;
    std::deque<InstallScript> installs;
    std::vector<std::wstring> calls;
    std::wstring downloadFolder = L"C:\\work";
};

class ScriptedDownloader : public IHarrowDownloader {
public:
    ScriptedDownloader(Script& script, DownloadScript step) : script_(script), step_(step) {}

    bool Start(int32_t runtimeId) override
    {
        id_ = runtimeId;
        script_.calls.push_back(L"download " + std::to_wstring(runtimeId));
        if (step_.starts && step_.steps == 0) SetEvent(finish_.Get());
        return step_.starts;
    }
    HANDLE GetFinishEvent() const override { return step_.waitFails ? nullptr : finish_.Get(); }
    bool IsSucceeded() const override { return step_.succeeds; }
    std::wstring GetFilePath() const override
    {
        return script_.downloadFolder + L"\\" + std::to_wstring(id_) + L".vlz";
    }
    uint64_t GetTotalBytes() const override { return 1000; }
    uint64_t GetDownloadedBytes() const override { return 100 * (done_ + 1); }
    // Read last of the three.
    uint64_t GetSpeed() const override
    {
        if (++done_ == step_.cancelAt) script_.sink->CancelRun();
        if (done_ == step_.steps) SetEvent(finish_.Get());
        return 10 * done_;
    }

private:
    Script& script_;
    DownloadScript step_;
    int32_t id_ = 0;
    mutable int done_ = 0;
    VLHandle finish_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

class ScriptedInner : public VLDependSoftInstallerBase {
public:
    ScriptedInner(Script& script, InstallScript step) : script_(script), step_(step) {}

    bool Install(int, const wchar_t*, const wchar_t*) override { return true; }
    bool IsSucceeded() override { return step_.succeeds; }
    bool Wait(DWORD) override
    {
        if (done_ == step_.steps) return true;
        if (++done_ == step_.cancelAt) script_.sink->CancelRun();
        return false;
    }
    int GetProgress() override { return 30 * done_; }

private:
    Script& script_;
    InstallScript step_;
    int done_ = 0;
};

class ScriptedInstaller : public IHarrowInstaller {
public:
    ScriptedInstaller(Script& script, InstallScript step) : script_(script), inner_(script, step), step_(step) {}

    VLDependSoftInstallerBase* Install(int32_t runtimeId, const std::wstring& file,
                                       const std::wstring& folder) override
    {
        script_.calls.push_back(L"install " + std::to_wstring(runtimeId) + L" " + file + L" " + folder);
        return step_.inner ? &inner_ : nullptr;
    }

private:
    Script& script_;
    ScriptedInner inner_;
    InstallScript step_;
};

// Hands out one scripted downloader or installer per row, in order.
template <typename Factory, typename Product, typename Made, auto steps>
class ScriptedFactory : public Factory {
public:
    explicit ScriptedFactory(Script& script) : script_(script) {}
    std::unique_ptr<Product> Create() override
    {
        auto made = std::make_unique<Made>(script_, (script_.*steps).front());
        (script_.*steps).pop_front();
        return made;
    }

private:
    Script& script_;
};

using ScriptedDownloads =
    ScriptedFactory<IHarrowDownloaderFactory, IHarrowDownloader, ScriptedDownloader, &Script::downloads>;
using ScriptedInstalls =
    ScriptedFactory<IHarrowInstallerFactory, IHarrowInstaller, ScriptedInstaller, &Script::installs>;

VLHandle StartRepair(StatusWindow& window, std::vector<VLRepairRow> rows,
                     std::shared_ptr<IHarrowDownloaderFactory> downloaders,
                     std::shared_ptr<IHarrowInstallerFactory> installers, const std::wstring& folder)
{
    auto job = std::make_unique<VLRepairJob>();
    job->sink = window.sink;
    job->generation = window.sink->BeginRun();
    job->rows = std::move(rows);
    job->downloaders = std::move(downloaders);
    job->installers = std::move(installers);
    job->installFolder = folder;
    return StartWorkerThread(RepairThreadProc, std::move(job));
}

std::wstring Joined(const std::vector<std::wstring>& calls)
{
    std::wstring joined;
    for (const auto& call : calls) joined += (joined.empty() ? L"" : L"; ") + call;
    return joined;
}

TEST(RepairThread, ReportsEveryStepOfEveryRow)
{
    const VLRepairRow a{1, 40018, L"A"}, b{3, 40019, L"B"};
    const std::wstring installA = L"install 40018 C:\\work\\40018.vlz C:\\work";
    const struct {
        const char* name;
        std::vector<VLRepairRow> rows;
        std::deque<DownloadScript> downloads;
        std::deque<InstallScript> installs;
        std::string trace;
        std::wstring calls;
    } cases[] = {
        {"success", {a}, {{true, false, 2}}, {{true, 2}},
         "6(1,0) 13(1,0) 8(1,A) 9(1000,100,10) 9(1000,200,20) 10(1,1) 11(100,30) 11(100,60) 12(1,1) 7(1,0)",
         L"download 40018; " + installA},
        {"failed download, next row goes on", {a, b}, {{true, false, 1, false}, {}}, {{}},
         "6(2,0) 13(1,0) 8(1,A) 9(1000,100,10) 12(0,1) 13(3,0) 8(2,B) 10(2,3) 12(1,3) 7(1,1)",
         L"download 40018; download 40019; install 40019 C:\\work\\40019.vlz C:\\work"},
        {"download that cannot start", {a}, {{false}}, {}, "6(1,0) 13(1,0) 8(1,A) 12(0,1) 7(0,1)",
         L"download 40018"},
        {"download that cannot be waited for", {a}, {{true, true, 5}}, {}, "6(1,0) 13(1,0) 8(1,A) 12(0,1) 7(0,1)",
         L"download 40018"},
        {"failed install", {a}, {{}}, {{true, 1, false}}, "6(1,0) 13(1,0) 8(1,A) 10(1,1) 11(100,30) 12(0,1) 7(0,1)",
         L"download 40018; " + installA},
        {"no inner installer", {a}, {{}}, {{false}}, "6(1,0) 13(1,0) 8(1,A) 10(1,1) 12(0,1) 7(0,1)",
         L"download 40018; " + installA},
        {"nothing selected", {}, {}, {}, "5(0,0)", L""},
        {"cancel while downloading", {a, b}, {{true, false, 100, true, 1}}, {},
         "6(2,0) 13(1,0) 8(1,A) 9(1000,100,10) 14(1,0)", L"download 40018"},
        {"cancel while installing", {a, b}, {{}}, {{true, 100, true, 2}},
         "6(2,0) 13(1,0) 8(1,A) 10(1,1) 11(100,30) 14(1,0)", L"download 40018; " + installA},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        StatusWindow window;
        Script script{window.sink, test.downloads, test.installs, {}};
        VLHandle thread = StartRepair(window, test.rows, std::make_shared<ScriptedDownloads>(script),
                                      std::make_shared<ScriptedInstalls>(script), L"C:\\work");
        ASSERT_TRUE(thread.Valid());
        ASSERT_TRUE(window.RunUntilEnded(thread.Get()));
        EXPECT_EQ(window.Trace(), test.trace);
        EXPECT_EQ(Joined(script.calls), test.calls);
    }
}

// A downloaded package of our own format, installed by the program's own
// installer into the folder the repair was given.
TEST(RepairThread, InstallsAPackageWithTheProgramsInstaller)
{
    TestFolder folder;
    PackageWriter writer;
    writer.root.Add(File(L"runtime.txt", SampleBytes(300000, 3), kMethodLzma));
    ASSERT_TRUE(writer.WriteTo(folder / L"40018.vlz"));

    StatusWindow window;
    Script script{window.sink, {{}}, {}, {}, folder.Path()};
    VLHandle thread = StartRepair(window, {{0, 40018, L"A"}}, std::make_shared<ScriptedDownloads>(script),
                                  std::make_shared<VLHarrowInstallerFactory>(), folder.Path());
    ASSERT_TRUE(window.RunUntilEnded(thread.Get()));
    // Progress is sampled in time, so its records are checked apart.
    std::string steps;
    int lastProgress = 0;
    for (const HarrowStatusRecord& record : window.records) {
        if (record.type != STATUS_INSTALL_PROGRESS) {
            steps += std::to_string(record.type) + " ";
            continue;
        }
        EXPECT_EQ(record.payload.pair.value1, 100);
        EXPECT_GE(record.payload.pair.value2, lastProgress);
        lastProgress = record.payload.pair.value2;
    }
    EXPECT_EQ(steps, "6 13 8 10 12 7 ");
    EXPECT_EQ(window.records.back().payload.pair.value1, 1); // succeeded
    EXPECT_EQ(ReadFileBytes(folder / L"runtime.txt"), SampleBytes(300000, 3));
}

} // namespace
} // namespace Velora
