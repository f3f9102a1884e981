// Notifications the text entry controls send to the window's listeners.
#pragma once

#include <cstdint>

namespace Velora {

enum : int32_t {
    kNotifyReturn = 15,
    kNotifyCtrlReturn = 16,
    kNotifyTextChanged = 17,
    kNotifyTextLimit = 18,
};

} // namespace Velora
