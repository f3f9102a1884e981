#pragma once

#include <windows.h>

#include <string>

namespace Velora {

// The text of the program's string-table entry id. Id 0 and an empty entry
// give the empty text; an id whose string block does not exist gives the id's
// decimal digits, so a missing text shows up as a number instead of nothing.
std::wstring LoadAppString(UINT id);

// What start-up shows when it cannot go on, before any window exists.
constexpr UINT kStringTorrentsFailed = 1361; // "BT库初始化失败"
constexpr UINT kStringErrorTitle = 1362;

} // namespace Velora
