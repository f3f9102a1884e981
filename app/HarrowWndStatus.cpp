// The main window's side of the status records: one record per
// WM_HARROW_STATUS, turned into texts, bars, row states and reports.
#include "app/HarrowWnd.h"

#include "app/AppString.h"
#include "app/HarrowElement.h"
#include "app/HarrowWndIds.h"
#include "app/RuntimeTable.h"
#include "base/StringUtil.h"
#include "ui/core/Container.h"
#include "ui/core/Option.h"
#include "ui/core/Progress.h"
#include "ui/core/Slide.h"

#include <algorithm>

namespace Velora {
namespace {

std::wstring FormatString(UINT id, ...)
{
    const std::wstring format = LoadAppString(id);
    std::wstring text;
    va_list args;
    va_start(args, id);
    wchar_t buffer[1024];
    // Every text of the table fits this buffer; one that would not is left empty.
    if (FormatTry(buffer, 1024, format.c_str(), args) == 0) text = buffer;
    va_end(args);
    return text;
}

} // namespace

LRESULT VLHarrowWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_HARROW_STATUS) {
        HarrowStatusRecord record;
        if (sink_->Pop(record) && record.type >= HarrowStatusType::STATUS_DETECT_BEGIN &&
            record.type <= HarrowStatusType::STATUS_REPAIR_CANCELLED)
            DispatchStatus(record);
        return 0;
    }
    if (message == WM_HARROW_WORKER_ENDED) {
        OnRepairEnded();
        return 0;
    }
    if (message == WM_HARROW_OFFER_CLIENT) {
        OfferClient();
        return 0;
    }
    return VLWindowImplBase::HandleMessage(message, wParam, lParam);
}

void VLHarrowWnd::DispatchStatus(const HarrowStatusRecord& record)
{
    const HarrowStatusRecord::Pair& pair = record.payload.pair;
    switch (record.type) {
    case HarrowStatusType::STATUS_DETECT_BEGIN: detectedTotal_ = pair.value1; return OnDetectItem(0, L"");
    case HarrowStatusType::STATUS_DETECT_ITEM:
        return OnDetectItem(record.payload.named.value1, record.payload.named.name);
    case HarrowStatusType::STATUS_DETECT_RESULT: return OnDetectResult(pair.value1, (pair.value2 & 0xFF) != 0);
    case HarrowStatusType::STATUS_DETECT_DONE: return OnDetectDone(pair.value1, pair.value2);
    case HarrowStatusType::STATUS_REPAIR_NONE_SELECTED:
        ShowStatusPanel(kPanelCheckResult);
        state_ = HarrowWindowState::Missing;
        SetActionText(kStringRepairNow);
        return EnableCheckBoxes(true);
    case HarrowStatusType::STATUS_REPAIR_BEGIN: return OnRepairBegin(pair.value1);
    case HarrowStatusType::STATUS_REPAIR_DONE: return OnRepairDone(pair.value1, pair.value2);
    case HarrowStatusType::STATUS_DOWNLOAD_BEGIN:
        return SetRepairText(FormatString(kStringDownloading, record.payload.named.value1, repairTotal_),
                             record.payload.named.name);
    case HarrowStatusType::STATUS_DOWNLOAD_PROGRESS: {
        const HarrowStatusRecord::Progress& progress = record.payload.progress;
        return OnDownloadProgress(progress.total, progress.downloaded, progress.speed);
    }
    case HarrowStatusType::STATUS_INSTALL_BEGIN: return OnInstallBegin(pair.value1, pair.value2);
    case HarrowStatusType::STATUS_INSTALL_PROGRESS: return SetBar(kRepairBar, pair.value1, pair.value2);
    case HarrowStatusType::STATUS_ITEM_RESULT:
        return OnItemEnd(pair.value2, (pair.value1 & 0xFF) ? RuntimeRowState::Repaired : RuntimeRowState::RepairFailed);
    case HarrowStatusType::STATUS_ITEM_BEGIN: return OnItemBegin(pair.value1);
    case HarrowStatusType::STATUS_REPAIR_CANCELLED:
        OnItemEnd(pair.value1, RuntimeRowState::Missing);
        PostMessageW(window_, WM_HARROW_OFFER_CLIENT, 0, 0);
        return SendRepairReport(statistics_.cancelResults, true);
    default: return;
    }
}

void VLHarrowWnd::OnDetectItem(int ordinal, const wchar_t* name)
{
    SetText(kCheckText,
            FormatString(kStringNamedStep, FormatString(kStringChecking, ordinal, detectedTotal_).c_str(), name));
    SetBar(kCheckBar, detectedTotal_, ordinal);
}

// Missing runtimes gather above the installed ones, in the order found.
void VLHarrowWnd::OnDetectResult(int index, bool installed)
{
    VLHarrowElement* row = GetRow(index);
    if (!row) return;
    row->SetState(installed ? RuntimeRowState::Installed : RuntimeRowState::Missing);
    if (installed || index == 0) return;
    int target = 0;
    while (target < index && GetRow(target)->GetState() != RuntimeRowState::Installed) ++target;
    if (target < index) {
        auto* copy = new VLHarrowElement(*row);
        list_->Remove(row);
        list_->AddAt(copy, target);
        list_->Invalidate();
    }
    // The rows that moved down change parity too.
    for (int i = 0; i <= index; ++i) GetRow(i)->SetStripeImage();
    if (auto* slider = dynamic_cast<VLSlide*>(Find(kListSlider))) slider->SetValue(0);
}

void VLHarrowWnd::OnDetectDone(int installed, int missing)
{
    // A check cancelled meanwhile keeps its cancel text.
    if (state_ != HarrowWindowState::Checking) return;
    ShowStatusPanel(kPanelCheckResult);
    std::wstring summary;
    if (missing == 0) {
        state_ = HarrowWindowState::AllPresent;
        summary = FormatString(kStringNoneMissing, detectedTotal_);
        SetActionText(kStringCheckAgain);
    } else {
        state_ = HarrowWindowState::Missing;
        summary = FormatString(kStringCheckSummary, detectedTotal_, installed, missing);
        SetActionText(kStringRepairNow);
        ShowCheckBoxes(true);
        EnableCheckBoxes(true);
        for (int i = 0; i < GetRowCount(); ++i) {
            if (GetRow(i)->GetCheckBox()->IsEnabled()) GetRow(i)->SetTicked(true);
        }
        SetSelectAll(true, false);
    }
    SetText(kCheckSummary, summary);
    // The thread's last act was this record.
    WaitAndClose(detectThread_, kWorkerWaitMs);
    SendCheckReport();
}

// The queued state marks the rows of this repair; a row unticked since goes back to missing.
void VLHarrowWnd::OnRepairBegin(int total)
{
    ShowStatusPanel(kPanelRepairing);
    repairTotal_ = total;
    SetRepairText(FormatString(kStringRepairing, 0, total), L"");
    for (int i = 0; i < GetRowCount(); ++i) {
        VLHarrowElement* row = GetRow(i);
        if (!row->GetCheckBox()) break;
        const RuntimeRowState rowState = row->GetState();
        if ((rowState == RuntimeRowState::Missing || rowState == RuntimeRowState::RepairFailed ||
             rowState == RuntimeRowState::Queued) &&
            row->IsTicked())
            row->SetState(RuntimeRowState::Queued);
        else if (rowState == RuntimeRowState::Queued)
            row->SetState(RuntimeRowState::Missing);
    }
}

void VLHarrowWnd::OnRepairDone(int succeeded, int failed)
{
    ShowStatusPanel(kPanelRepairResult);
    std::wstring summary;
    if (failed == 0) {
        state_ = HarrowWindowState::AllPresent;
        SetActionText(kStringCheckAgain);
        summary = FormatString(kStringAllRepaired, succeeded);
    } else {
        state_ = HarrowWindowState::RepairFailed;
        SetActionText(kStringRepairAgain);
        summary = FormatString(kStringRepairSummary, succeeded + failed, succeeded, failed);
    }
    EnableCheckBoxes(true);
    SetText(kRepairSummary, summary);
    // All that is left of the thread is freeing its job.
    WaitAndClose(repairThread_, kWorkerWaitMs);
    PostMessageW(window_, WM_HARROW_OFFER_CLIENT, 0, 0);
    SendRepairReport(statistics_.repairResults, false);
}

void VLHarrowWnd::OnDownloadProgress(uint64_t total, uint64_t downloaded, uint64_t speed)
{
    if (!Find(kRepairBar) || total == 0 || downloaded > total) return;
    SetBar(kRepairBar, 100, int(double(downloaded) * 100.0 / double(total)));
    ShowSpeedText(speed, downloaded);
}

void VLHarrowWnd::OnInstallBegin(int ordinal, int index)
{
    const VLHarrowElement* row = GetRow(index);
    if (!row) return;
    SetRepairText(FormatString(kStringInstalling, ordinal, repairTotal_), row->GetTitle());
    Show(kSpeedText, false);
}

void VLHarrowWnd::OnItemBegin(int index)
{
    VLHarrowElement* row = GetRow(index);
    if (!row) return;
    row->SetState(RuntimeRowState::Repairing);
    if (Find(kRepairBar)) SetBar(kRepairBar, 100, 0);
    Show(kSpeedText, false);
    SetBusyAnimation(row, true);
}

void VLHarrowWnd::OnItemEnd(int index, RuntimeRowState rowState)
{
    VLHarrowElement* row = GetRow(index);
    if (!row) return;
    row->SetState(rowState);
    SetBusyAnimation(row, false);
}

void VLHarrowWnd::SetBar(int id, int maximum, int value)
{
    auto* bar = dynamic_cast<VLProgress*>(Find(id));
    if (!bar) return;
    if (maximum < 0) maximum = 1;
    bar->SetMinValue(0);
    bar->SetMaxValue(maximum);
    bar->SetValue(std::clamp(value, 0, maximum));
    bar->Invalidate();
}

void VLHarrowWnd::SetRepairText(const std::wstring& text, const std::wstring& name)
{
    SetText(kRepairText, FormatString(kStringNamedStep, text.c_str(), name.c_str()));
}

void VLHarrowWnd::ShowSpeedText(uint64_t speed, uint64_t downloaded)
{
    Show(kSpeedText, speed != 0 || downloaded != 0);
    if (speed != 0 || downloaded != 0)
        SetText(kSpeedText,
                FormatString(kStringSpeed, FormatPackageSize(speed).c_str(), FormatPackageSize(downloaded).c_str()));
}

void VLHarrowWnd::SendCheckReport()
{
    statistics_.Clear();
    for (int i = 0; i < GetRowCount(); ++i) {
        const VLHarrowElement* row = GetRow(i);
        if (row->GetState() == RuntimeRowState::Installed) statistics_.checkResults[row->GetRecord().id] = true;
        if (row->GetState() == RuntimeRowState::Missing) statistics_.checkResults[row->GetRecord().id] = false;
    }
    reports_.Send(statistics_.GetCheckReportUrl());
}

// Rows chosen for the repair that are present count as repaired, the rest
// that took part as missing.
void VLHarrowWnd::SendRepairReport(std::map<int32_t, bool>& results, bool cancelled)
{
    statistics_.Clear();
    for (int i = 0; i < GetRowCount(); ++i) {
        const VLHarrowElement* row = GetRow(i);
        const int32_t id = row->GetRecord().id;
        if (std::find(repairSelection_.begin(), repairSelection_.end(), id) == repairSelection_.end()) continue;
        const RuntimeRowState rowState = row->GetState();
        if (rowState == RuntimeRowState::Repaired) results[id] = true;
        if (rowState == RuntimeRowState::RepairFailed || rowState == RuntimeRowState::Queued ||
            rowState == RuntimeRowState::Missing)
            results[id] = false;
    }
    reports_.Send(cancelled ? statistics_.GetCancelReportUrl() : statistics_.GetRepairReportUrl());
}

} // namespace Velora
