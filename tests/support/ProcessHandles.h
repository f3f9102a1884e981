// The handles this process holds, read from the system's handle table: a test
// counts them before and after some work to tell what the work left open.
#pragma once

#include <map>
#include <string>

namespace Velora::Test {

struct HandleCounts {
    std::map<std::wstring, int> byType;     // "Key", "Event", "File" ...
    std::map<std::wstring, int> keysByName; // "\REGISTRY\MACHINE\SOFTWARE\..."

    int Of(const std::wstring& type) const;
};

// Every handle of this process by the name of its object type, and the keys
// also by their full names ("?" when a key's name cannot be read, as for a
// key deleted while open). Empty when the system lists no handles.
HandleCounts CountProcessHandles();

// One line per type and key name whose count changed from before to after,
// most grown first: "+10 Key \REGISTRY\USER\...".
std::string DescribeChange(const HandleCounts& before, const HandleCounts& after);

} // namespace Velora::Test
