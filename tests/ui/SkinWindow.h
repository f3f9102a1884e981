// A real skinned test window built from markup text, a control that records
// the events it gets, and a message pump that goes through the managers'
// pre-translation like the program's loop.
#pragma once

#include "ui/core/MarkupBuilder.h"
#include "ui/core/WindowImplBase.h"

#include <string>
#include <vector>

namespace Velora {

// Registered as the markup element "Probe".
class ProbeControl : public VLControl {
public:
    ProbeControl() { ++live; }
    ~ProbeControl() override { --live; }
    void DoEvent(VLControlEvent& event) override
    {
        events.push_back(event);
        VLControl::DoEvent(event);
    }
    int Count(int32_t type) const;
    std::vector<VLControlEvent> events;
    static int live;
};

class SkinWindow : public VLWindowImplBase {
public:
    explicit SkinWindow(std::wstring markup) : markup_(std::move(markup)) {}
    ~SkinWindow() override;
    // A visible popup window at x, y.
    HWND Open(int x, int y, int cx, int cy, HWND owner = nullptr);
    const wchar_t* GetWindowClassName() const override { return L"VLSkinTestWindow"; }
    LRESULT OnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void Notify(VLNotifyMsg& msg) override { notes.push_back(msg); }
    int Notes(int32_t type) const;
    ProbeControl* Probe() const { return static_cast<ProbeControl*>(paintManager.GetRoot()); }

    std::vector<VLNotifyMsg> notes;

private:
    std::wstring markup_;
};

// Dispatches what is queued, for ms milliseconds.
void Pump(DWORD ms = 30);

} // namespace Velora
