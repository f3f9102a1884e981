// Prints the runtime catalogue as the program builds it on this machine, one
// line per row: id, name, package size and "installed" or "missing",
// separated by tabs.
#include "base/TextConvert.h"
#include "app/RuntimeTable.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

using namespace Velora;

int wmain()
{
    // As in the program: no library is ever looked for in the current folder.
    SetDllDirectoryW(L"");
    // Lines end in a bare line feed, whatever reads them.
    _setmode(_fileno(stdout), _O_BINARY);

    std::vector<VLSoftwareDetect> table;
    BuildRuntimeTable(table);
    for (const VLSoftwareDetect& row : table) {
        const std::wstring line = std::to_wstring(row.id) + L"\t" + row.name + L"\t" +
                                  FormatPackageSize(GetPackageSize(row.id)) + L"\t" +
                                  (row.IsInstalled() ? L"installed" : L"missing") + L"\n";
        fputs(ToMultiByte(line).c_str(), stdout);
    }
    return 0;
}
