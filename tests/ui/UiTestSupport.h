// What the UI tests share: a hidden real window for a paint manager to bind
// to, and a listener that records every notification.
#pragma once

#include "ui/core/Notify.h"
#include "ui/core/PaintManager.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace Velora {

// A top-level window that is never shown; destroyed with the object.
class HiddenWindow {
public:
    HiddenWindow();
    ~HiddenWindow();
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
    BoundManager();
    HiddenWindow window;
    RecordingListener listener;
    VLPaintManager manager;
    int Count(int32_t type) const;
};

// The least tree node the manager's walks need: it owns its children and
// searches them the way containers do.
class TestBranch : public VLControl {
public:
    ~TestBranch() override;
    VLControl* Add(VLControl* child);
    VLControl* FindControl(VLFindControlProc proc, void* data, uint32_t flags) override;
    void SetManager(VLPaintManager* manager) override;
    void Init() override;
    int initCalls = 0;
    std::vector<VLControl*> children;
};

} // namespace Velora
