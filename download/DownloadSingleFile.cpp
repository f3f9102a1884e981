#include "download/DownloadSingleFile.h"

#include "download/BTDownloadTask.h"
#include "download/HttpTask.h"

namespace Velora {

VLDownloadSingleFile::VLDownloadSingleFile() : manager(new VLDownloadManager(this)) {}

VLDownloadSingleFile::~VLDownloadSingleFile()
{
    manager->StopAll();
    delete manager;
}

bool VLDownloadSingleFile::Start(uint32_t runtimeId)
{
    if (finishEvent.Valid()) return false;
    finishEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (runtimeId == 0 || !folderCallback) return false;
    task = new VLHttpTask(runtimeId, folderCallback(runtimeId));
    task->addressProvider = addressProvider;
    if (!manager->Add(task)) {
        task->Destroy();
        task = nullptr;
        return false;
    }
    return manager->StartTask(task);
}

void VLDownloadSingleFile::OnMessage(uint32_t code, const TaskMessage* message)
{
    if (!message) return;
    switch (code) {
    case kMsgFinalPath: filePath = message->text ? message->text : L""; break;
    case kMsgTotalSize: totalSize = (uint64_t(message->value2) << 32) | message->value1; break;
    case kMsgDownloaded: downloaded = (uint64_t(message->value2) << 32) | message->value1; break;
    case kMsgSpeed: speed = message->value2; break;
    case kMsgFinished: Finish(message->value1); break;
    case kMsgSwitchKind: SwitchKind(*message); break;
    default: break;
    }
}

void VLDownloadSingleFile::Finish(uint32_t result)
{
    succeeded = result == kDownloadOk;
    SetEvent(finishEvent.Get());
}

void VLDownloadSingleFile::SwitchKind(const TaskMessage& message)
{
    const bool toTorrent = message.value1 == 2;
    bool& used = toTorrent ? switchedToTorrent_ : switchedToHttp_;
    if ((!toTorrent && message.value1 != 1) || used) return Finish(kErrNoAddress);
    used = true;
    VLDownloadTask* old = task;
    const std::wstring folder = folderCallback(message.taskId);
    VLDownloadTask* replacement = toTorrent ? static_cast<VLDownloadTask*>(new VLBTTask(message.taskId, folder))
                                            : new VLHttpTask(message.taskId, folder);
    replacement->previous = old;
    replacement->addressProvider = addressProvider;
    old->cleanupPending = true;
    if (!manager->Replace(old, replacement)) {
        // The download is being torn down: the old task ends as it would.
        old->cleanupPending = false;
        replacement->previous = nullptr;
        replacement->Destroy();
        return Finish(kErrKindSwitch);
    }
    task = replacement;
}

} // namespace Velora
