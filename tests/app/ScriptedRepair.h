// Downloads and installs that follow a script, for the repair thread and the
// window that runs it: how many progress steps, whether each starts, can be
// waited for and succeeds, and at which step the run is cancelled.
#pragma once

#include "app/HarrowDownloader.h"
#include "app/HarrowInstaller.h"
#include "app/HarrowStatusSink.h"
#include "base/Handles.h"

#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace Velora::Test {

// Each poll of the download's progress or of the install's Wait is one step;
// the step named "cancelAt" presses cancel, as the window's button would.
struct DownloadScript {
    bool starts = true;
    bool waitFails = false;
    int steps = 0; // steps until the finish event is signalled
    bool succeeds = true;
    int cancelAt = 0;
    HANDLE stopGate = nullptr; // when given, the downloader goes once it is set (20 s at most)
};

struct InstallScript {
    bool inner = true;
    int steps = 0; // Wait answers false this many times
    bool succeeds = true;
    int cancelAt = 0;
};

struct Script {
    std::shared_ptr<VLHarrowStatusSink> sink;
    std::deque<DownloadScript> downloads;
    std::deque<InstallScript> installs;
    std::vector<std::wstring> calls;
    std::wstring downloadFolder = L"C:\\work";
    std::atomic<int> downloadersGone{0};
};

class ScriptedDownloader : public IHarrowDownloader {
public:
    ScriptedDownloader(Script& script, DownloadScript step) : script_(script), step_(step) {}
    ~ScriptedDownloader() override
    {
        if (step_.stopGate) WaitForSingleObject(step_.stopGate, 20000);
        ++script_.downloadersGone;
    }

    bool Start(int32_t runtimeId) override
    {
        id_ = runtimeId;
        script_.calls.push_back(L"download " + std::to_wstring(runtimeId));
        if (step_.starts && step_.steps == 0) SetEvent(finish_.Get());
        return step_.starts;
    }
    HANDLE GetFinishEvent() const override { return step_.waitFails ? nullptr : finish_.Get(); }
    bool IsSucceeded() const override { return step_.succeeds; }
    std::wstring GetFilePath() const override
    {
        return script_.downloadFolder + L"\\" + std::to_wstring(id_) + L".vlz";
    }
    uint64_t GetTotalBytes() const override { return 1000; }
    uint64_t GetDownloadedBytes() const override { return 100 * (done_ + 1); }
    // Read last of the three.
    uint64_t GetSpeed() const override
    {
        if (++done_ == step_.cancelAt) script_.sink->CancelRun();
        if (done_ == step_.steps) SetEvent(finish_.Get());
        return 10 * done_;
    }

private:
    Script& script_;
    DownloadScript step_;
    int32_t id_ = 0;
    mutable int done_ = 0;
    VLHandle finish_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

class ScriptedInner : public VLDependSoftInstallerBase {
public:
    ScriptedInner(Script& script, InstallScript step) : script_(script), step_(step) {}

    bool Install(int, const wchar_t*, const wchar_t*) override { return true; }
    bool IsSucceeded() override { return step_.succeeds; }
    bool Wait(DWORD) override
    {
        if (done_ == step_.steps) return true;
        if (++done_ == step_.cancelAt) script_.sink->CancelRun();
        return false;
    }
    int GetProgress() override { return 30 * done_; }

private:
    Script& script_;
    InstallScript step_;
    int done_ = 0;
};

class ScriptedInstaller : public IHarrowInstaller {
public:
    ScriptedInstaller(Script& script, InstallScript step) : script_(script), inner_(script, step), step_(step) {}

    VLDependSoftInstallerBase* Install(int32_t runtimeId, const std::wstring& file, const std::wstring& folder) override
    {
        script_.calls.push_back(L"install " + std::to_wstring(runtimeId) + L" " + file + L" " + folder);
        return step_.inner ? &inner_ : nullptr;
    }

private:
    Script& script_;
    ScriptedInner inner_;
    InstallScript step_;
};

// Hands out one scripted downloader or installer per row, in order.
template <typename Factory, typename Product, typename Made, auto steps> class ScriptedFactory : public Factory {
public:
    explicit ScriptedFactory(Script& script) : script_(script) {}
    std::unique_ptr<Product> Create() override
    {
        auto made = std::make_unique<Made>(script_, (script_.*steps).front());
        (script_.*steps).pop_front();
        return made;
    }

private:
    Script& script_;
};

using ScriptedDownloads =
    ScriptedFactory<IHarrowDownloaderFactory, IHarrowDownloader, ScriptedDownloader, &Script::downloads>;
using ScriptedInstalls =
    ScriptedFactory<IHarrowInstallerFactory, IHarrowInstaller, ScriptedInstaller, &Script::installs>;

} // namespace Velora::Test
