#include "install/DependSoftSfxInstaller.h"

#include "base/PlainFile.h"
#include "install/SfxInstall.h"

namespace Velora {

namespace {

void SfxInstallThreadProc(void* argument)
{
    SfxInstallJob& job = *static_cast<SfxInstallJob*>(argument);
    if (!job.unpacker->Open()) return;
    if (!job.unpacker->Install(job.targetFolder)) return;
    job.result = true;
}

} // namespace

SfxInstallJob::SfxInstallJob(VLFile file, const std::wstring& targetFolder)
    : package(std::move(file)), unpacker(std::make_unique<VLSfxInstall>(&package)), targetFolder(targetFolder)
{
}

bool SfxInstallJob::Start()
{
    if (!thread) thread = std::make_unique<VLThread>(SfxInstallThreadProc, this);
    return thread->Start();
}

VLDependSoftSfxInstaller::~VLDependSoftSfxInstaller()
{
    EndJob();
}

void VLDependSoftSfxInstaller::EndJob()
{
    if (!job_) return;
    if (job_->thread) {
        VLThreadData& worker = *job_->thread->data;
        if (worker.handle.Valid() && WaitForSingleObject(worker.handle.Get(), 0) == WAIT_TIMEOUT) {
            // Cancel also releases a paused worker, which would otherwise never end.
            job_->unpacker->Cancel();
            job_->thread->Wait();
        }
    }
    // The job goes before this sink does: the reader reports to it to the end.
    job_.reset();
}

bool VLDependSoftSfxInstaller::Install(int callerArgument, const wchar_t* file, const wchar_t* folder)
{
    // A second install must not free the reader a running worker still uses.
    EndJob();
    {
        std::lock_guard<std::mutex> lock(logLock_);
        log_.clear();
    }
    this->callerArgument = callerArgument;
    this->file = file;
    // Read as itself through the one handle the install holds, without write
    // or delete sharing: what is installed is the file that was checked.
    VLPlainFile package;
    if (!package.Open(this->file, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING)) return false;
    job_ = std::make_unique<SfxInstallJob>(std::move(package.file), folder);
    job_->unpacker->SetProgress(this);
    return job_->Start();
}

bool VLDependSoftSfxInstaller::IsSucceeded()
{
    succeeded = job_ && job_->result;
    return succeeded;
}

bool VLDependSoftSfxInstaller::Wait(DWORD milliseconds)
{
    // No worker (a missing file, a thread that did not start): nothing will
    // change any more, and IsSucceeded answers false.
    if (!job_ || !job_->thread || !job_->thread->data->handle.Valid()) return true;
    return WaitForSingleObject(job_->thread->data->handle.Get(), milliseconds) == WAIT_OBJECT_0;
}

bool VLDependSoftSfxInstaller::OnEvent(const VLUnpackEvent* event)
{
    std::lock_guard<std::mutex> lock(logLock_);
    log_.push_back(DescribeEvent(*event));
    return false;
}

bool VLDependSoftSfxInstaller::IsRolledBack()
{
    return !job_ || job_->unpacker->IsRolledBack();
}

std::vector<std::wstring> VLDependSoftSfxInstaller::GetLog()
{
    std::lock_guard<std::mutex> lock(logLock_);
    return log_;
}

void VLDependSoftSfxInstaller::OnProgress(double overallPercent, double entryPercent)
{
    int percent = int(overallPercent);
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    progress = percent;
}

} // namespace Velora
