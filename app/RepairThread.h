// The repair of the rows the user ticked, one after the other, on a worker
// thread: download each runtime's package, install it, report every step.
// It works on a copy of the repairable rows taken on the UI thread.
#pragma once

#include "app/HarrowDownloader.h"
#include "app/HarrowInstaller.h"
#include "app/HarrowStatusSink.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Velora {

struct VLRepairRow {
    int32_t index = 0; // the row's position in the list
    int32_t runtimeId = 0;
    std::wstring title;
};

struct VLRepairJob {
    std::shared_ptr<VLHarrowStatusSink> sink;
    uint32_t generation = 0; // of VLHarrowStatusSink::BeginRun
    // The visible, ticked rows that are missing, in list order.
    std::vector<VLRepairRow> rows;
    std::shared_ptr<IHarrowDownloaderFactory> downloaders;
    std::shared_ptr<IHarrowInstallerFactory> installers;
    std::wstring installFolder; // the work folder
};

// The thread function: takes ownership of a VLRepairJob made with new.
// Repairs row by row until done or cancelled, frees the job, tells the window
// it has ended (VLHarrowStatusSink::PostWorkerEnded) and returns 0.
DWORD WINAPI RepairThreadProc(LPVOID job);

} // namespace Velora
