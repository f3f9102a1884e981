#include "app/HarrowWnd.h"

#include "app/AppString.h"
#include "app/DetectThread.h"
#include "app/HarrowDownloaderFactory.h"
#include "app/HarrowElement.h"
#include "app/HarrowInstallerFactory.h"
#include "app/HarrowMsgWnd.h"
#include "app/HarrowWndIds.h"
#include "app/RepairThread.h"
#include "app/RuntimeTable.h"
#include "app/WorkFolder.h"
#include "app/WorkerThread.h"
#include "base/StringUtil.h"
#include "ui/core/Container.h"
#include "ui/core/Option.h"
#include "ui/core/Slide.h"

#include <algorithm>

namespace Velora {
namespace {

constexpr int kRowsInView = 5;

} // namespace

void VLHarrowWnd::WaitAndClose(VLHandle& thread, DWORD milliseconds)
{
    if (!thread.Valid()) return;
    WaitForSingleObject(thread.Get(), milliseconds);
    thread.Reset();
}

VLHarrowWnd::VLHarrowWnd(VLHarrowWndSetup setup) : setup_(std::move(setup))
{
    if (!setup_.downloaders) setup_.downloaders = std::make_shared<VLHarrowDownloaderFactory>();
    if (!setup_.installers) setup_.installers = std::make_shared<VLHarrowInstallerFactory>();
    Create(nullptr, LoadAppString(kStringTitle).c_str(), 0x86CA0000, 0x00040001, CW_USEDEFAULT, CW_USEDEFAULT,
           CW_USEDEFAULT, CW_USEDEFAULT);
}

VLHarrowWnd::~VLHarrowWnd()
{
    StopThreads();
    sink_->SetWindow(nullptr);
}

LRESULT VLHarrowWnd::OnCreate(UINT, WPARAM, LPARAM, bool&)
{
    BuildSkinnedWindow(*this, L"HarrowWnd");
    sink_->SetWindow(window_);
    return 0;
}

// The whole window is client area; nothing non-client is painted.
LRESULT VLHarrowWnd::OnNcCalcSize(UINT, WPARAM, LPARAM, bool&)
{
    return 0;
}

LRESULT VLHarrowWnd::OnNcPaint(UINT, WPARAM, LPARAM, bool&)
{
    return 0;
}

// The window goes at once: the workers and the companion download are told to
// stop, and the program waits for them only once the window is gone
// (StopThreads). The default procedure still destroys the window after the
// quit message.
LRESULT VLHarrowWnd::OnClose(UINT, WPARAM, LPARAM, bool& handled)
{
    ShowWindow(window_, SW_HIDE);
    sink_->CancelRun();
    companion_.Stop();
    StopRepairAnimation();
    PostQuitMessage(0);
    handled = false;
    return 0;
}

void VLHarrowWnd::OnFinalMessage(HWND)
{
    sink_->SetWindow(nullptr);
    window_ = nullptr;
}

LRESULT VLHarrowWnd::OnMouseWheel(UINT, WPARAM wParam, LPARAM lParam, bool&)
{
    POINT point = {short(LOWORD(lParam)), short(HIWORD(lParam))};
    ScreenToClient(window_, &point);
    auto* slider = dynamic_cast<VLSlide*>(Find(kListSlider));
    if (!list_ || !slider) return 0;
    const RECT area = list_->GetPos();
    if (point.x >= area.left && point.x <= area.right && point.y >= area.top && point.y <= area.bottom)
        slider->SetValue(slider->GetValue() - short(HIWORD(wParam)) / 10);
    return 0;
}

void VLHarrowWnd::Notify(VLNotifyMsg& msg)
{
    const int id = msg.sender ? msg.sender->GetId() : 0;
    if (msg.type == kNotifyWindowInit) return OnInitList();
    if (msg.type == kNotifySelectChanged && id == kRowCheckBox) {
        if (state_ == HarrowWindowState::AllPresent && msg.wParam) {
            SetActionText(kStringRepairAgain);
            state_ = HarrowWindowState::RepairFailed;
        }
        return;
    }
    if (msg.type == kNotifySlideValue && id == kListSlider) {
        auto* slider = static_cast<VLSlide*>(msg.sender);
        if (!list_ || slider->GetRange() <= 0) return;
        const int step = kRowHeight + list_->GetChildPadding();
        const int position = (GetRowCount() - kRowsInView) * step * slider->GetValue() / slider->GetRange();
        list_->SetScrollPos(SIZE{0, std::max(position, 0)});
        return;
    }
    if (msg.type != kNotifyClick) return;
    switch (id) {
    case kActionButton: return OnActionButton();
    case kMinimiseButton: SendMessageW(window_, WM_SYSCOMMAND, SC_MINIMIZE, 0); return;
    case kCloseButton: return Close();
    case kSelectAll: return OnSelectAll();
    case kRowCheckBox: return OnRowCheck(msg.sender);
    case kStartButton:
        Show(kStartPage, false);
        Show(kListPage, true);
        Show(kActionButton, true);
        StartCheck();
        return;
    default: return;
    }
}

void VLHarrowWnd::OnInitList()
{
    list_ = dynamic_cast<VLContainer*>(Find(kList));
    if (!list_) return;
    std::vector<VLSoftwareDetect> table = setup_.runtimes;
    if (table.empty()) BuildRuntimeTable(table);
    for (const VLSoftwareDetect& record : table) AddRow(record);
    if (VLControl* slider = Find(kListSlider)) slider->SetDispatch(kEventMouseWheel, true);
    ShowCheckBoxes(false);
}

void VLHarrowWnd::AddRow(const VLSoftwareDetect& record)
{
    auto* row = new VLHarrowElement(&paintManager, record);
    row->SetState(RuntimeRowState::Unchecked);
    list_->Add(row);
    row->SetPackageSize(GetPackageSize(record.id));
    row->SetStripeImage();
}

int VLHarrowWnd::GetRowCount() const
{
    return list_ ? list_->GetCount() : 0;
}

VLHarrowElement* VLHarrowWnd::GetRow(int index) const
{
    return list_ ? dynamic_cast<VLHarrowElement*>(list_->GetItemAt(index)) : nullptr;
}

void VLHarrowWnd::OnActionButton()
{
    switch (state_) {
    case HarrowWindowState::Idle: return StartCheck();
    case HarrowWindowState::Checking: return CancelCheck();
    case HarrowWindowState::Missing:
    case HarrowWindowState::RepairFailed: return StartRepair();
    case HarrowWindowState::Repairing: return CancelRepair();
    case HarrowWindowState::AllPresent:
        for (int i = 0; i < GetRowCount(); ++i) GetRow(i)->SetState(RuntimeRowState::Unchecked);
        return StartCheck();
    default: return;
    }
}

// The check works on a copy of the rows: this thread moves rows while it runs.
void VLHarrowWnd::StartCheck()
{
    ShowStatusPanel(kPanelChecking);
    state_ = HarrowWindowState::Checking;
    auto job = std::make_unique<VLDetectJob>();
    job->sink = sink_;
    for (int i = 0; i < GetRowCount(); ++i) {
        const VLHarrowElement* row = GetRow(i);
        job->rows.push_back(VLDetectRow{i, row->GetTitle(), row->GetRecord().detect});
    }
    job->generation = sink_->BeginRun();
    detectThread_ = StartWorkerThread(DetectThreadProc, std::move(job));
    SetActionText(kStringCancel);
}

void VLHarrowWnd::CancelCheck()
{
    state_ = HarrowWindowState::Idle;
    sink_->CancelRun();
    WaitAndClose(detectThread_, kWorkerWaitMs);
    int missing = 0;
    for (int i = 0; i < GetRowCount(); ++i) missing += GetRow(i)->GetState() == RuntimeRowState::Missing;
    SetActionText(kStringCheckAgain);
    ShowStatusPanel(kPanelCheckCancelled);
    std::wstring text;
    if (missing > 0)
        Format(text, LoadAppString(kStringCheckCancelledMissing).c_str(), missing);
    else
        text = LoadAppString(kStringCheckCancelled);
    SetText(kCancelText, text);
}

void VLHarrowWnd::StartRepair()
{
    // A cancelled repair's thread is still finishing its step (OnRepairEnded).
    if (repairThread_.Valid()) return;
    ShowStatusPanel(kPanelRepairing);
    repairSelection_.clear();
    auto job = std::make_unique<VLRepairJob>();
    job->sink = sink_;
    for (int i = 0; i < GetRowCount(); ++i) {
        const VLHarrowElement* row = GetRow(i);
        if (!row->IsVisible() || !row->IsTicked()) continue;
        repairSelection_.push_back(row->GetRecord().id);
        const RuntimeRowState rowState = row->GetState();
        if (rowState == RuntimeRowState::Missing || rowState == RuntimeRowState::Queued ||
            rowState == RuntimeRowState::RepairFailed)
            job->rows.push_back(VLRepairRow{i, row->GetRecord().id, row->GetTitle()});
    }
    state_ = HarrowWindowState::Repairing;
    job->downloaders = setup_.downloaders;
    job->installers = setup_.installers;
    job->installFolder = GetWorkFolder();
    job->generation = sink_->BeginRun();
    repairThread_ = StartWorkerThread(RepairThreadProc, std::move(job));
    SetActionText(kStringCancel);
    EnableCheckBoxes(false);
}

// The thread stops after its current step, without the window waiting for
// it; the action button can start the next repair once it has ended.
void VLHarrowWnd::CancelRepair()
{
    ShowStatusPanel(kPanelRepairCancelled);
    state_ = HarrowWindowState::Missing;
    sink_->CancelRun();
    SetActionText(kStringRepairAgain);
    EnableCheckBoxes(true);
    if (VLControl* action = Find(kActionButton)) action->SetEnabled(false);
}

// The last message of a repair thread. One that finished was waited for with
// its summary; a cancelled one leaves the action button to the ticks again.
void VLHarrowWnd::OnRepairEnded()
{
    if (!repairThread_.Valid()) return;
    WaitAndClose(repairThread_, kWorkerWaitMs);
    if (state_ == HarrowWindowState::Missing) OnRowCheck(nullptr);
}

void VLHarrowWnd::StopThreads()
{
    sink_->CancelRun();
    companion_.Stop();
    WaitAndClose(detectThread_, kWorkerWaitMs);
    WaitAndClose(repairThread_, INFINITE);
    companion_.Wait();
    reports_.Stop();
}

void VLHarrowWnd::StopRepairAnimation()
{
    for (int i = 0; i < GetRowCount(); ++i) {
        if (GetRow(i)->GetState() == RuntimeRowState::Repairing) return SetBusyAnimation(GetRow(i), false);
    }
}

void VLHarrowWnd::SetBusyAnimation(VLHarrowElement* row, bool run)
{
    VLControl* busy = row ? row->GetBusyImage() : nullptr;
    if (!busy) return;
    if (!run) {
        paintManager.GetAnimations().StopAnimation(busy, kEffectSourceSlide);
        return;
    }
    auto item = std::make_unique<VLAnimationItem>();
    for (int frame = 0; frame < 6; ++frame) item->sources.push_back(RECT{frame * 21, 0, frame * 21 + 21, 21});
    paintManager.GetAnimations().StartAnimation(busy, kEffectSourceSlide, std::move(item));
}

void VLHarrowWnd::OfferClient()
{
    if (offerShown_) return;
    offerShown_ = true;
    if (IsCompanionInstalled(setup_.companionKey)) return;
    VLHarrowMsgWnd prompt(window_);
    if (!prompt.GetHWND()) return;
    prompt.ShowModal();
    if (prompt.IsConfirmed() && !companion_.Started()) companion_.Start();
}

void VLHarrowWnd::OnSelectAll()
{
    auto* selectAll = dynamic_cast<VLOption*>(Find(kSelectAll));
    if (selectAll) selectAll->SetSelected(false);
    bool anyTicked = false;
    for (int i = 0; i < GetRowCount(); ++i) {
        const VLOption* box = GetRow(i)->GetCheckBox();
        anyTicked |= box->IsEnabled() && box->IsSelected();
    }
    SetSelectAll(!anyTicked, anyTicked);
    for (int i = 0; i < GetRowCount(); ++i) {
        VLOption* box = GetRow(i)->GetCheckBox();
        if (!box->IsEnabled()) continue;
        box->SetSelected(!anyTicked);
        box->Invalidate();
    }
}

// The sender's box toggles after this notification.
void VLHarrowWnd::OnRowCheck(VLControl* sender)
{
    bool anyTicked = false, anyUnticked = false;
    for (int i = 0; i < GetRowCount(); ++i) {
        const VLOption* box = GetRow(i)->GetCheckBox();
        if (!box->IsEnabled()) continue;
        const bool ticked = box == sender ? !box->IsSelected() : box->IsSelected();
        (ticked ? anyTicked : anyUnticked) = true;
    }
    SetSelectAll(anyTicked, anyUnticked);
}

VLControl* VLHarrowWnd::Find(int id) const
{
    return paintManager.FindControl(id);
}

void VLHarrowWnd::SetText(int id, const std::wstring& text)
{
    if (VLControl* control = Find(id)) {
        control->SetText(text);
        control->Invalidate();
    }
}

// Invalidating after the change repaints the area whichever way it went.
void VLHarrowWnd::Show(int id, bool show)
{
    if (VLControl* control = Find(id)) {
        control->SetVisible(show);
        control->Invalidate();
    }
}

void VLHarrowWnd::SetActionText(UINT stringId)
{
    SetText(kActionButton, LoadAppString(stringId));
}

void VLHarrowWnd::ShowStatusPanel(int id)
{
    for (int panel : kPanels) {
        VLControl* control = Find(panel);
        if (!control || control->IsVisible() == (panel == id)) continue;
        control->SetVisible(panel == id);
        control->Invalidate();
    }
}

void VLHarrowWnd::EnableCheckBoxes(bool enable)
{
    for (int i = 0; i < GetRowCount(); ++i) {
        VLHarrowElement* row = GetRow(i);
        const bool present =
            row->GetState() == RuntimeRowState::Installed || row->GetState() == RuntimeRowState::Repaired;
        row->GetCheckBox()->SetEnabled(present ? false : enable);
        if (present) row->SetTicked(true);
    }
    if (VLControl* selectAll = Find(kSelectAll)) selectAll->SetEnabled(enable);
}

void VLHarrowWnd::ShowCheckBoxes(bool show)
{
    for (int i = 0; i < GetRowCount(); ++i) {
        VLOption* box = GetRow(i)->GetCheckBox();
        box->SetVisible(show);
        box->Invalidate();
    }
    if (VLControl* selectAll = Find(kSelectAll)) {
        selectAll->SetVisible(show);
        selectAll->Invalidate();
    }
}

void VLHarrowWnd::SetSelectAll(bool anyTicked, bool anyUnticked)
{
    static const wchar_t kCell[] = L"res='%d' restype='PNG' source='%s' dest='0,0,18,18'";
    const wchar_t* normal = L"0,0,18,18";
    const wchar_t* hot = L"18,0,36,18";
    if (anyTicked) normal = hot = anyUnticked ? L"90,0,108,18" : L"36,0,54,18";
    if (VLControl* selectAll = Find(kSelectAll)) {
        std::wstring text;
        Format(text, kCell, kImageCheckBox, normal);
        selectAll->SetAttribute(L"normalimage", text);
        Format(text, kCell, kImageCheckBox, hot);
        selectAll->SetAttribute(L"hotimage", text);
        selectAll->Invalidate();
    }
    if (VLControl* action = Find(kActionButton)) action->SetEnabled(anyTicked && !repairThread_.Valid());
}

} // namespace Velora
