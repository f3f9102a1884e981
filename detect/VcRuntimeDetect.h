// The Visual C++ runtimes, found by their files where the redistributables put
// them: side-by-side assembly folders for 2005 and 2008, the system folder
// for 2010 and 2012.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

namespace Velora {

// One side-by-side assembly: its folder under the Windows folder in both
// spellings and the files it must hold.
struct VLSxsAssembly {
    const wchar_t* xwwFolder; // Windows 2000, XP and Server 2003
    const wchar_t* noneFolder; // Vista and later
    std::initializer_list<const wchar_t*> files;
};

// ATL, CRT and MFC assemblies of one runtime.
using VLSxsRuntime = VLSxsAssembly[3];

extern const VLSxsRuntime kVc2005Sxs;
extern const VLSxsRuntime kVc2008Sxs;
extern const VLSxsRuntime kVc2005x64Sxs;
extern const VLSxsRuntime kVc2008x64Sxs;

// Whether every file of the runtime is in the folders that Windows of the
// given major version spells.
bool DetectVcSxs(const std::wstring& windowsDir, DWORD windowsMajor, const VLSxsRuntime& runtime);

// One system-folder runtime: its files, the library whose version is checked
// and the oldest version that counts.
struct VLSystemRuntime {
    std::initializer_list<const wchar_t*> files;
    const wchar_t* versionedFile;
    const wchar_t* minimumVersion;
};

extern const VLSystemRuntime kVc2010Files;
extern const VLSystemRuntime kVc2012Files;

bool DetectVcSystemDir(const std::wstring& folder, const VLSystemRuntime& runtime);

} // namespace Velora
