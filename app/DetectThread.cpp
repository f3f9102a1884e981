#include "app/DetectThread.h"

namespace Velora {

DWORD WINAPI DetectThreadProc(LPVOID parameter)
{
    const std::unique_ptr<VLDetectJob> job(static_cast<VLDetectJob*>(parameter));
    VLHarrowStatusSink& sink = *job->sink;
    const uint32_t run = job->generation;

    Sleep(10);
    sink.Push(run, HarrowStatusRecord::MakePair(HarrowStatusType::STATUS_DETECT_BEGIN, int32_t(job->rows.size())));
    int32_t installed = 0, missing = 0, ordinal = 0;
    for (const VLDetectRow& row : job->rows) {
        // A cancelled check reports nothing more, so the window keeps its
        // cancel text instead of a summary.
        if (sink.IsCancelled(run)) return 0;
        sink.Push(run, HarrowStatusRecord::MakeNamed(HarrowStatusType::STATUS_DETECT_ITEM, ++ordinal, row.title));
        const bool found = row.detect && row.detect();
        ++(found ? installed : missing);
        sink.Push(run, HarrowStatusRecord::MakePair(HarrowStatusType::STATUS_DETECT_RESULT, row.index, found));
        // Lets the user follow every step.
        Sleep(100);
    }
    sink.Push(run, HarrowStatusRecord::MakePair(HarrowStatusType::STATUS_DETECT_DONE, installed, missing));
    return 0;
}

} // namespace Velora
