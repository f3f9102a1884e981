// The handles this process holds, read from the system's handle table: a test
// counts them before and after some work to tell what the work left open.
#pragma once

#include <map>
#include <string>

namespace Velora::Test {

// Handles by the name of their object type: "Key", "Event", "File" ...
using HandleCounts = std::map<std::wstring, int>;

// Every handle of this process by type; empty when the system lists none.
HandleCounts CountProcessHandles();

} // namespace Velora::Test
