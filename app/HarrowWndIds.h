// The ids the main window and its list rows work with: the string-table
// entries of resources/AppResources.rc.
#pragma once

#include <windows.h>

namespace Velora {

constexpr UINT kStringPackageSize = 1360; // "大小： ", before a row's package size

} // namespace Velora
