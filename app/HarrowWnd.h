// The program's main window: the list of runtimes, the status band and the
// action button. The check and repair run on worker threads that report
// through a status sink; this window turns their records into texts, bars
// and row states, sends the statistics reports and offers the companion
// client once after a repair.
#pragma once

#include "app/BGInstaller.h"
#include "app/HarrowDownloader.h"
#include "app/HarrowInstaller.h"
#include "app/HarrowStatistic.h"
#include "app/HarrowStatusSink.h"
#include "app/ReportSender.h"
#include "base/Handles.h"
#include "detect/SoftwareDetect.h"
#include "ui/core/WindowImplBase.h"

#include <memory>
#include <string>
#include <vector>

namespace Velora {

class VLContainer;
class VLHarrowElement;
enum class RuntimeRowState : int;

enum class HarrowWindowState {
    Idle, // before the first check, or the check was cancelled
    Checking,
    Missing, // missing runtimes found, or the repair cancelled
    Repairing,
    AllPresent,   // nothing missing, or everything repaired
    RepairFailed, // some repairs failed, or a row ticked in the all-present state
};

// What the window works with; the defaults are the program's own.
struct VLHarrowWndSetup {
    std::vector<VLSoftwareDetect> runtimes; // empty: this machine's catalogue
    std::shared_ptr<IHarrowDownloaderFactory> downloaders;
    std::shared_ptr<IHarrowInstallerFactory> installers;
    std::wstring companionKey = kCompanionKey;
};

class VLHarrowWnd : public VLWindowImplBase {
public:
    // Creates the window; GetHWND() is null when that failed.
    explicit VLHarrowWnd(VLHarrowWndSetup setup = VLHarrowWndSetup());
    ~VLHarrowWnd() override;

    const wchar_t* GetWindowClassName() const override { return L"VLHarrowWnd"; }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hwnd) override;
    LRESULT OnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT OnNcCalcSize(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT OnNcPaint(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT OnClose(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT OnMouseWheel(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void Notify(VLNotifyMsg& msg) override;

    HarrowWindowState GetState() const { return state_; }
    int GetRowCount() const;
    VLHarrowElement* GetRow(int index) const;

    // Stops the workers, the companion download and the reports: waits for a
    // repair's current step to end, which its own limits bound, while a check
    // blocked in a detection function is left behind. For when the window is
    // gone: it may take seconds.
    void StopThreads();

private:
    // The window never waits longer for a worker: one that has not ended by
    // then is left to end on its own, as killing it could leave a lock held or
    // an install half done.
    static constexpr DWORD kWorkerWaitMs = 100;
    static void WaitAndClose(VLHandle& thread, DWORD milliseconds);

    // Clicks and the list.
    void OnInitList();
    void AddRow(const VLSoftwareDetect& record);
    void OnActionButton();
    void OnSelectAll();
    void OnRowCheck(VLControl* sender);
    void StartCheck();
    void CancelCheck();
    void StartRepair();
    void CancelRepair();
    void OnRepairEnded();
    void StopRepairAnimation();
    void OfferClient();

    // Status records.
    void DispatchStatus(const HarrowStatusRecord& record);
    void OnDetectItem(int ordinal, const wchar_t* name);
    void OnDetectResult(int index, bool installed);
    void OnDetectDone(int installed, int missing);
    void OnRepairBegin(int total);
    void OnRepairDone(int succeeded, int failed);
    void OnDownloadProgress(uint64_t total, uint64_t downloaded, uint64_t speed);
    void OnInstallBegin(int ordinal, int index);
    void OnItemBegin(int index);
    void OnItemEnd(int index, RuntimeRowState state);

    // Controls.
    VLControl* Find(int id) const;
    void Show(int id, bool show);
    void SetText(int id, const std::wstring& text);
    void SetActionText(UINT stringId);
    void SetBar(int id, int maximum, int value);
    void ShowStatusPanel(int id);
    void EnableCheckBoxes(bool enable);
    void ShowCheckBoxes(bool show);
    void SetSelectAll(bool anyTicked, bool anyUnticked);
    void SetRepairText(const std::wstring& text, const std::wstring& name);
    void ShowSpeedText(uint64_t speed, uint64_t downloaded);
    void SetBusyAnimation(VLHarrowElement* row, bool run);

    // Statistics.
    void SendCheckReport();
    void SendRepairReport(std::map<int32_t, bool>& results, bool cancelled);

    VLHarrowWndSetup setup_;
    HarrowWindowState state_ = HarrowWindowState::Idle;
    VLContainer* list_ = nullptr;
    const std::shared_ptr<VLHarrowStatusSink> sink_ = std::make_shared<VLHarrowStatusSink>();
    VLHandle detectThread_;
    VLHandle repairThread_;
    int detectedTotal_ = 0;
    int repairTotal_ = 0;
    VLBGInstaller companion_;
    bool offerShown_ = false;
    VLHarrowStatistic statistics_;
    VLReportSender reports_;
    std::vector<int32_t> repairSelection_;
};

} // namespace Velora
