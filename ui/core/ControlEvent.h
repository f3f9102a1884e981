// The input record the paint manager hands to a control, and the event types
// it carries. The same record travels up the parent chain when a control
// passes an event on, with the passing control stored as its forwarder.
#pragma once

#include <windows.h>

#include <cstdint>

namespace Velora {

class VLControl;

// Each type is also the control's "dispatch" bit that passes it to the parent.
enum VLEventType : int32_t {
    kEventKeyDown = 1,
    kEventKeyUp = 2,
    kEventChar = 3,
    kEventSysKeyDown = 4,
    kEventMouseMove = 5,
    kEventMouseLeave = 6,
    kEventMouseEnter = 7,
    kEventMouseHover = 8,
    kEventMouseWheel = 9,
    kEventLButtonDown = 10,
    kEventLButtonUp = 11,
    kEventRButtonDown = 12,
    kEventLButtonDblClk = 13,
    kEventContextMenu = 14,
    kEventKillFocus = 15,
    kEventSetFocus = 16,
    kEventSetCursor = 17,
    kEventTimer = 18,
    kEventActivate = 19,
};

// Zeroed before it is filled: the fields an event does not use stay 0.
struct VLControlEvent {
    int32_t type = 0;
    VLControl* sender = nullptr;
    VLControl* forwarder = nullptr;
    uint32_t timestamp = 0;
    POINT ptMouse = {0, 0};
    uint16_t key = 0;
    uint16_t keyState = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// The client point of a mouse message: signed, as a captured mouse left of or
// above the window gives negative coordinates.
inline POINT PointOf(LPARAM lParam)
{
    return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

} // namespace Velora
