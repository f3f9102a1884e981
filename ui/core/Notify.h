// What a control reports to its window: the notification record, its types,
// and the listener interface the window implements.
#pragma once

#include <windows.h>

#include <cstdint>

namespace Velora {

class VLControl;

// The types a control sends are also its "notify" bits that enable them.
enum VLNotifyType : int32_t {
    kNotifyWindowInit = 1,
    kNotifyClick = 2,
    kNotifyMouseEnter = 3,
    kNotifyMouseHover = 4,
    kNotifyMouseLeave = 5,
    kNotifySetFocus = 7,
    kNotifyKillFocus = 8,
    kNotifyLButtonDown = 9,
    kNotifyLButtonUp = 10,
    kNotifyRButtonDown = 11,
    kNotifyContextMenu = 12,
    kNotifyLButtonDblClk = 13,
    kNotifySelectChanged = 14, // an option's selected state; wParam 1 selected, 0 not
    kNotifyEffectEnd = 22,
};

struct VLNotifyMsg {
    int32_t type = 0;
    VLControl* sender = nullptr;
    uint32_t timestamp = 0;
    POINT ptMouse = {0, 0};
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Listeners run synchronously inside the sender's event handler: a listener
// must not delete the sender (or its tree) there, but hand it to
// VLPaintManager::DelayedDelete.
class INotify {
public:
    virtual ~INotify() = default;
    virtual void Notify(VLNotifyMsg& msg) = 0;
};

} // namespace Velora
