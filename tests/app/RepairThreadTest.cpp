#include "app/RepairThread.h"

#include "app/HarrowDownloaderFactory.h"
#include "app/HarrowInstallerFactory.h"
#include "app/WorkFolder.h"
#include "app/WorkerThread.h"
#include "base/Handles.h"
#include "tests/app/ScopedTempFolder.h"
#include "tests/app/ScriptedRepair.h"
#include "tests/app/StatusWindow.h"
#include "tests/download/DownloadTestSupport.h"
#include "tests/support/PackageWriter.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <deque>
#include <tuple>

namespace Velora {
namespace {

using namespace Velora::Test;

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
        if (record.type != HarrowStatusType::STATUS_INSTALL_PROGRESS) {
            steps += std::to_string(static_cast<int>(record.type)) + " ";
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

// The program's installer, after another process tried to overwrite the
// package with the temporary folder's "other", to rename and to delete it.
struct TamperingInstaller : IHarrowInstaller {
    VLDependSoftInstallerBase* Install(int32_t runtimeId, const std::wstring& file, const std::wstring& folder) override
    {
        const std::wstring name = L"\"" + file + L"\"";
        _wsystem((L"copy /y %TEMP%\\other " + name + L" & move " + name + L" " + name + L".moved & del /q " + name).c_str());
        return real->Install(runtimeId, file, folder);
    }
    std::unique_ptr<IHarrowInstaller> real = VLHarrowInstallerFactory().Create();
};
struct TamperingInstalls : IHarrowInstallerFactory {
    std::unique_ptr<IHarrowInstaller> Create() override { return std::make_unique<TamperingInstaller>(); }
};

// From the download's check until the install has read the package or its
// setup program has started, other programs cannot change it.
TEST(RepairThread, WhatIsInstalledIsWhatWasChecked)
{
    VLTestHttpServer service, files;
    ASSERT_TRUE(service.Start(80)) << "the service port is taken";
    ASSERT_TRUE(files.Start());
    TestFolder temp, target;
    ScopedTempFolder scoped(temp.Path());
    PackageWriter writer;
    writer.root.Add(File(L"runtime.txt", "checked"));
    ASSERT_TRUE(writer.WriteTo(temp / L"package") && WriteFileBytes(temp / L"other", "other bytes"));
    // Each with what only its checked bytes leave behind.
    for (const auto& [name, bytes, proof] :
         {std::tuple{"40018.vlz", ReadFileBytes(temp / L"package"), target / L"runtime.txt"},
          std::tuple{"setup.exe", ReadFileBytes(L"Z:" + ToWide(VL_COMPANION_EXE)), GetWorkFolder() + L"\\setup.exe.ran"}}) {
        SCOPED_TRACE(name);
        files.SetFile(std::string("/") + name, bytes);
        service.SetFile("/query_url.php?soft=2.0.0.2996&id=40018",
                        AnswerXml(files.Url(std::string("/") + name), "", Md5Of(bytes), bytes.size(), name));
        StatusWindow window;
        VLHandle thread = StartRepair(window, {{0, 40018, L"A"}}, std::make_shared<VLHarrowDownloaderFactory>(),
                                      std::make_shared<TamperingInstalls>(), target.Path());
        ASSERT_TRUE(window.RunUntilEnded(thread.Get()));
        const std::wstring file = GetWorkFolder() + L"\\" + ToWide(name);
        EXPECT_TRUE(bytes == ReadFileBytes(file) && !Exists(file + L".moved"));
        EXPECT_TRUE(Exists(proof)); // the install ended with the repair
    }
    EXPECT_EQ("checked", ReadFileBytes(target / L"runtime.txt"));
}

} // namespace
} // namespace Velora
