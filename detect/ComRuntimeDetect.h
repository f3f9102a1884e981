// Runtimes registered as COM classes: MSXML 3.0, 4.0 and 6.0, and the Flash
// Player control for Internet Explorer.
#pragma once

#include <string>

namespace Velora {

// Whether the library's file description is that of MSXML 4.0 SP3, the only
// service pack that counts as installed.
bool CheckMsxmlDescription(const std::wstring& path);

} // namespace Velora
