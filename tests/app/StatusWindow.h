// A hidden message-only window that takes the status records a worker posts,
// one per WM_HARROW_STATUS, the way the main window does.
#pragma once

#include "app/HarrowStatusSink.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace Velora::Test {

class StatusWindow {
public:
    StatusWindow();
    ~StatusWindow();
    StatusWindow(const StatusWindow&) = delete;
    StatusWindow& operator=(const StatusWindow&) = delete;

    // Handles messages until the thread has ended and everything it posted
    // was taken; false after 30 s.
    bool RunUntilEnded(HANDLE thread);
    // Handles the messages already posted.
    void Pump();
    // The records taken so far, one token each: "type(value1,value2)",
    // "type(value1,name)" or "9(total,downloaded,speed)", blank-separated.
    std::string Trace() const;

    const std::shared_ptr<VLHarrowStatusSink> sink = std::make_shared<VLHarrowStatusSink>();
    std::vector<HarrowStatusRecord> records;
    int emptyMessages = 0; // messages that found no record

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
};

} // namespace Velora::Test
