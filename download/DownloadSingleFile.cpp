#include "download/DownloadSingleFile.h"

#include "download/BTDownloadTask.h"
#include "download/HttpTask.h"

namespace Velora {

VLDownloadSingleFile::VLDownloadSingleFile() : manager_(std::make_unique<VLDownloadManager>(this)) {}

VLDownloadSingleFile::~VLDownloadSingleFile()
{
    // Once every task is stopped and silenced, no thread reaches this object.
    manager_->StopAll();
}

bool VLDownloadSingleFile::Start(uint32_t runtimeId)
{
    if (finishEvent_.Valid()) return false;
    finishEvent_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (runtimeId == 0 || !folderCallback_) return false;
    VLDownloadTask* task = new VLHttpTask(runtimeId, folderCallback_(runtimeId));
    task->SetAddressProvider(addressProvider_);
    if (!manager_->Add(task)) {
        task->Destroy();
        return false;
    }
    task_ = task;
    return manager_->StartTask(task);
}

std::wstring VLDownloadSingleFile::GetFilePath() const
{
    std::lock_guard<std::mutex> guard(pathLock_);
    return filePath_;
}

DownloadTaskKind VLDownloadSingleFile::GetTaskKind() const
{
    const VLDownloadTask* task = task_;
    return task ? task->type : DownloadTaskKind::Http;
}

void VLDownloadSingleFile::OnMessage(uint32_t code, const TaskMessage* message)
{
    if (!message) return;
    switch (code) {
    case kMsgFinalPath: {
        std::lock_guard<std::mutex> guard(pathLock_);
        filePath_ = message->text ? message->text : L"";
        break;
    }
    case kMsgTotalSize: totalSize_ = (uint64_t(message->value2) << 32) | message->value1; break;
    case kMsgDownloaded: downloaded_ = (uint64_t(message->value2) << 32) | message->value1; break;
    case kMsgSpeed: speed_ = message->value2; break;
    case kMsgFinished: Finish(message->value1); break;
    case kMsgSwitchKind: SwitchKind(*message); break;
    default: break;
    }
}

void VLDownloadSingleFile::Finish(uint32_t result)
{
    succeeded_ = result == kDownloadOk;
    VLDownloadTask* task = task_;
    if (succeeded_ && task) checkedFile_ = task->TakeCheckedFile();
    SetEvent(finishEvent_.Get());
}

void VLDownloadSingleFile::SwitchKind(const TaskMessage& message)
{
    const auto kind = static_cast<DownloadTaskKind>(message.value1);
    const bool toTorrent = kind == DownloadTaskKind::BitTorrent;
    bool& used = toTorrent ? switchedToTorrent_ : switchedToHttp_;
    if ((!toTorrent && kind != DownloadTaskKind::Http) || used) return Finish(kErrNoAddress);
    used = true;
    VLDownloadTask* old = task_;
    const std::wstring folder = folderCallback_(message.taskId);
    VLDownloadTask* replacement = toTorrent ? static_cast<VLDownloadTask*>(new VLBTTask(message.taskId, folder))
                                            : new VLHttpTask(message.taskId, folder);
    replacement->SetPrevious(VLTaskPtr(old));
    replacement->SetAddressProvider(addressProvider_);
    old->SetCleanupPending(true);
    // Current before it starts: its own switch may follow at once.
    task_ = replacement;
    if (!manager_->Replace(old, replacement)) {
        // The download is being torn down: the old task ends as it would,
        // destroyed by the manager.
        task_ = old;
        old->SetCleanupPending(false);
        replacement->TakePrevious().release();
        replacement->Destroy();
        return Finish(kErrKindSwitch);
    }
}

} // namespace Velora
