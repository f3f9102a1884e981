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

void VLTaskDestroy::operator()(VLDownloadTask* task) const
{
    task->Destroy();
}

VLDownloadTask::VLDownloadTask(DownloadTaskKind kind, uint32_t taskId) : id(taskId), type(kind) {}

VLDownloadTask::~VLDownloadTask() = default;

void VLDownloadTask::SetState(int32_t newState)
{
    state_ = newState;
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

void VLDownloadTask::SetPrevious(VLTaskPtr task)
{
    std::lock_guard<std::mutex> guard(lock_);
    previous_.swap(task);
}

VLTaskPtr VLDownloadTask::TakePrevious()
{
    std::lock_guard<std::mutex> guard(lock_);
    return std::move(previous_);
}

// What a run's worker is started with: its own count of earlier stops and
// the worker of the run before it.
struct VLDownloadTask::RunStart {
    VLDownloadTask* task;
    uint32_t stopsBeforeStart;
    VLThreadPtr predecessor;
};

bool VLDownloadTask::StartRun(uint32_t stopsBeforeStart)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto run = std::make_unique<RunStart>(RunStart{this, stopsBeforeStart, std::move(worker_)});
    auto worker = std::make_unique<VLThread>(&VLDownloadTask::WorkerProc, run.get());
    if (!worker->Start()) {
        worker_ = std::move(run->predecessor);
        return false;
    }
    run.release();
    worker_ = std::move(worker);
    return true;
}

void VLDownloadTask::WorkerProc(void* argument)
{
    const std::unique_ptr<RunStart> run(static_cast<RunStart*>(argument));
    VLDownloadTask& task = *run->task;
    task.TakePrevious().reset();
    JoinThread(std::move(run->predecessor));
    task.Work(run->stopsBeforeStart);
}

bool VLDownloadTask::IsWorking()
{
    std::lock_guard<std::mutex> guard(lock_);
    return worker_ && worker_->data->running;
}

void VLDownloadTask::JoinRuns()
{
    VLThreadPtr worker;
    {
        std::lock_guard<std::mutex> guard(lock_);
        worker = std::move(worker_);
    }
    // Each worker has waited for the one before it.
    JoinThread(std::move(worker));
}

void VLDownloadTask::KeepStopsSince(uint32_t stopsBeforeStart)
{
    // Cleared before the count is looked at, so an Abort racing with this
    // either sees its own flag stay or is counted here.
    abort_ = false;
    if (aborts_ != stopsBeforeStart) abort_ = true;
}

bool VLDownloadTask::AskAddressProvider(void* record, DownloadFileInfo& answer)
{
    const VLAddressProvider provider = addressProvider_;
    return provider && provider(id, record, answer);
}

bool VLDownloadTask::QueryAddress(const std::atomic<bool>* cancelled)
{
    return QueryDownloadInfo(BuildQueryUrl(id), info, cancelled);
}

} // namespace Velora
