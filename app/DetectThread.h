// The check of every runtime in the list, on a worker thread. It works on a
// copy of the rows taken on the UI thread before it starts, because the UI
// thread moves and rebuilds rows while the check runs.
#pragma once

#include "app/HarrowStatusSink.h"
#include "detect/SoftwareDetect.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Velora {

struct VLDetectRow {
    int32_t index = 0; // the row's position in the list when the check began
    std::wstring title;
    DetectFunction detect = nullptr; // none: counted missing
};

struct VLDetectJob {
    std::shared_ptr<VLHarrowStatusSink> sink;
    uint32_t generation = 0; // of VLHarrowStatusSink::BeginRun
    std::vector<VLDetectRow> rows;
};

// The thread function: takes ownership of a VLDetectJob made with new.
// Reports the check row by row and returns 0.
DWORD WINAPI DetectThreadProc(LPVOID job);

} // namespace Velora
