#include "download/DownloadTask.h"

namespace Velora {

namespace {

void Deliver(uint32_t code, VLListenerSlot* listener, const TaskMessage& message)
{
    if (listener) listener->Call([&](VLDownloadMessage& target) { target.OnMessage(code, &message); });
}

} // namespace

void SendTextMessage(uint32_t code, uint32_t taskId, VLListenerSlot* listener,
                     const wchar_t* text, uint32_t value2)
{
    TaskMessage message{};
    message.taskId = taskId;
    message.text = text;
    message.value2 = value2;
    Deliver(code, listener, message);
}

void SendValueMessage(uint32_t code, uint32_t taskId, VLListenerSlot* listener,
                      uint32_t value1, uint32_t value2)
{
    TaskMessage message{};
    message.taskId = taskId;
    message.value1 = value1;
    message.value2 = value2;
    Deliver(code, listener, message);
}

void SendSizeMessage(uint32_t code, uint32_t taskId, VLListenerSlot* listener, uint64_t value)
{
    SendValueMessage(code, taskId, listener, static_cast<uint32_t>(value),
                     static_cast<uint32_t>(value >> 32));
}

VLDownloadTask::VLDownloadTask(DownloadTaskKind kind, uint32_t taskId) : id(taskId), type(kind) {}

VLDownloadTask::~VLDownloadTask()
{
    if (previous) previous->Destroy();
}

void VLDownloadTask::SetState(int32_t newState)
{
    state = newState;
    SendValueMessage(kMsgState, id, &listener, static_cast<uint32_t>(newState));
}

std::wstring VLDownloadTask::GetFolder()
{
    std::lock_guard<std::mutex> guard(lock_);
    return folder_;
}

void VLDownloadTask::SetFolder(const std::wstring& text)
{
    std::lock_guard<std::mutex> guard(lock_);
    folder_ = text;
}

bool VLDownloadTask::AskAddressProvider(void* record, DownloadFileInfo& answer)
{
    return addressProvider && addressProvider(id, record, answer);
}

bool VLDownloadTask::QueryAddress(const std::atomic<bool>* cancelled)
{
    return QueryDownloadInfo(BuildQueryUrl(id), info, cancelled);
}

} // namespace Velora
