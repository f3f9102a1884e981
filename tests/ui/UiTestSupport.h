// What the UI tests share: a hidden real window for a paint manager to bind
// to, a listener that records every notification, and a least tree node.
#pragma once

#include "ui/core/Container.h"
#include "ui/core/PaintManager.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace Velora {

// "left,top,right,bottom", for comparisons that show both sides.
std::string RectText(const RECT& r);

// Adds the item to the container after applying the attribute list to it.
VLControl* AddItem(VLContainer& parent, const wchar_t* attributes, VLControl* item = new VLControl);

// An event as its manager builds it, for a test to adjust before delivering it.
VLControlEvent EventAt(int32_t type, int x = 0, int y = 0, uint16_t key = 0, WPARAM wParam = 0);

// Hands the control an event as its manager would; returns it as the control left it.
VLControlEvent Deliver(VLControl& control, int32_t type, int x = 0, int y = 0, uint16_t key = 0, WPARAM wParam = 0);

// A top-level window that is never shown unless a test shows it.
class HiddenWindow {
public:
    HiddenWindow();
    ~HiddenWindow() { DestroyWindow(hwnd_); }
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;
    HWND Get() const { return hwnd_; }

private:
    HWND hwnd_;
};

class RecordingListener : public INotify {
public:
    void Notify(VLNotifyMsg& msg) override { messages.push_back(msg); }
    std::vector<VLNotifyMsg> messages;
};

// A manager bound to its own hidden window, with a recording listener.
struct BoundManager {
    BoundManager()
    {
        manager.Init(window.Get());
        manager.AddNotifier(&listener);
    }
    int Count(int32_t type) const
    {
        return static_cast<int>(std::count_if(listener.messages.begin(), listener.messages.end(),
                                              [type](const VLNotifyMsg& m) { return m.type == type; }));
    }
    HiddenWindow window;
    RecordingListener listener;
    VLPaintManager manager;
};

// Owns its children and searches them the way containers do.
class TestBranch : public VLControl {
public:
    ~TestBranch() override;
    VLControl* Add(VLControl* child);
    // Takes a child out of the tree without deleting it.
    VLControl* Detach(VLControl* child);
    VLControl* FindControl(VLFindControlProc proc, void* data, uint32_t flags) override;
    void SetManager(VLPaintManager* manager) override;
    void Init() override { ++initCalls; }
    int initCalls = 0;
    std::vector<VLControl*> children;
};

} // namespace Velora
