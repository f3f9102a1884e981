// The catalogue of runtimes the program checks and repairs, in the order the
// list shows them, and the download size of each runtime's package.
#pragma once

#include "detect/SoftwareDetect.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Velora {

// Appends the catalogue for this machine: the AppLocale entry only on
// Windows major version 5, the x64 entries only under WOW64, the 32-bit
// MSXML 6.0 entry only without it.
void BuildRuntimeTable(std::vector<VLSoftwareDetect>& table);
void BuildRuntimeTable(std::vector<VLSoftwareDetect>& table, DWORD windowsMajor, bool wow64);

// Download size in bytes of the runtime's package; 0 for an unknown id.
uint64_t GetPackageSize(int32_t runtimeId);
// The size as a row shows it: "1023B", "1.0KB", "53.6MB" ...
std::wstring FormatPackageSize(uint64_t size);

} // namespace Velora
