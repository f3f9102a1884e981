#include "app/RepairThread.h"

namespace Velora {
namespace {

enum class StepEnd { Finished, Failed, Cancelled };

class VLRepairRun {
public:
    explicit VLRepairRun(const VLRepairJob& job) : job_(job) {}

    void Run()
    {
        if (job_.rows.empty()) {
            Report(HarrowStatusRecord::MakePair(HarrowStatusType::STATUS_REPAIR_NONE_SELECTED));
            return;
        }
        Report(HarrowStatusRecord::MakePair(HarrowStatusType::STATUS_REPAIR_BEGIN, int32_t(job_.rows.size())));
        int32_t ordinal = 0;
        for (const VLRepairRow& row : job_.rows) {
            if (!RepairRow(row, ++ordinal)) return;
        }
        Report(HarrowStatusRecord::MakePair(HarrowStatusType::STATUS_REPAIR_DONE, succeeded_, failed_));
    }

private:
    void Report(const HarrowStatusRecord& record) { job_.sink->Push(job_.generation, record); }
    bool Cancelled() const { return job_.sink->IsCancelled(job_.generation); }

    // False when the run was cancelled. The row's result or the cancel is
    // reported while its downloader and installer still exist; both are gone
    // before the next row starts.
    bool RepairRow(const VLRepairRow& row, int32_t ordinal)
    {
        Report(HarrowStatusRecord::MakePair(HarrowStatusType::STATUS_ITEM_BEGIN, row.index));
        Report(HarrowStatusRecord::MakeNamed(HarrowStatusType::STATUS_DOWNLOAD_BEGIN, ordinal, row.title));
        const std::unique_ptr<IHarrowDownloader> downloader = job_.downloaders->Create();
        const StepEnd download = Download(*downloader, row.runtimeId);
        if (download == StepEnd::Cancelled) return Cancel(row);
        if (download == StepEnd::Failed || !downloader->IsSucceeded()) return Finish(row, false);

        Report(HarrowStatusRecord::MakePair(HarrowStatusType::STATUS_INSTALL_BEGIN, ordinal, row.index));
        const std::unique_ptr<IHarrowInstaller> installer = job_.installers->Create();
        VLDependSoftInstallerBase* inner = installer->Install(row.runtimeId, downloader->GetFilePath(),
                                                              job_.installFolder);
        if (!inner) return Finish(row, false);
        while (!inner->Wait(100)) {
            if (Cancelled()) return Cancel(row);
            Report(HarrowStatusRecord::MakePair(HarrowStatusType::STATUS_INSTALL_PROGRESS, 100, inner->GetProgress()));
        }
        return Finish(row, inner->IsSucceeded());
    }

    bool Finish(const VLRepairRow& row, bool ok)
    {
        ++(ok ? succeeded_ : failed_);
        Report(HarrowStatusRecord::MakePair(HarrowStatusType::STATUS_ITEM_RESULT, ok, row.index));
        return true;
    }

    // The row in hand goes back to missing; no summary follows.
    bool Cancel(const VLRepairRow& row)
    {
        Report(HarrowStatusRecord::MakePair(HarrowStatusType::STATUS_REPAIR_CANCELLED, row.index));
        return false;
    }

    // Finished means the download ended; whether it succeeded is the
    // downloader's to say. A download that cannot be started or waited for
    // would otherwise be waited for without end.
    StepEnd Download(IHarrowDownloader& downloader, int32_t runtimeId)
    {
        if (!downloader.Start(runtimeId)) return StepEnd::Failed;
        for (;;) {
            const DWORD waited = WaitForSingleObject(downloader.GetFinishEvent(), 100);
            if (waited == WAIT_OBJECT_0) return StepEnd::Finished;
            if (waited != WAIT_TIMEOUT) return StepEnd::Failed;
            if (Cancelled()) return StepEnd::Cancelled;
            const uint64_t total = downloader.GetTotalBytes();
            const uint64_t downloaded = downloader.GetDownloadedBytes();
            Report(HarrowStatusRecord::MakeProgress(total, downloaded, downloader.GetSpeed()));
        }
    }

    const VLRepairJob& job_;
    int32_t succeeded_ = 0;
    int32_t failed_ = 0;
};

} // namespace

DWORD WINAPI RepairThreadProc(LPVOID parameter)
{
    std::shared_ptr<VLHarrowStatusSink> sink;
    {
        const std::unique_ptr<VLRepairJob> job(static_cast<VLRepairJob*>(parameter));
        sink = job->sink;
        VLRepairRun(*job).Run();
    }
    sink->PostWorkerEnded();
    return 0;
}

} // namespace Velora
