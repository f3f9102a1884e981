// Small helpers the detectors share: probing libraries, reading versions, and
// scoped COM and WOW64 redirection state.
#pragma once

#include "base/MachineEnvironment.h" // IsWow64

#include <windows.h>

#include <cstdint>
#include <string>

namespace Velora {

// Whether the library can be found and mapped (and exports exportName when
// one is given). The library's own code never runs: a planted DLL found
// beside the program must not execute inside our elevated process. A bare
// name is searched for as the system searches for libraries, but never in
// the current folder; any other name must be a full path to a file. A
// damaged library, or an export handed on to another library, reads as
// missing.
bool IsLibraryLoadable(const wchar_t* name, const char* exportName);

// Dotted version text into up to four parts; parts without a piece keep
// their value. False, with no part changed, when the text has no piece or a
// piece is negative or beyond what a part holds.
bool ParseVersion(const std::wstring& text, int32_t& major, int32_t& minor, int32_t& build,
                  int32_t& revision);

// The product version words of a file's version resource; a bare file name is
// searched for as IsLibraryLoadable searches. Parts are unchanged on failure.
bool GetFileProductVersion(const std::wstring& path, int32_t& major, int32_t& minor,
                           int32_t& build, int32_t& revision);
// GetFileProductVersion and IsLibraryLoadable in one, from one held copy of
// the library the system would take for the name, so that no other file can
// answer either: its product version (false, parts unchanged, without one)
// and, when it has one, whether it may load (exporting exportName when one is
// given).
bool GetLoadableLibraryVersion(const wchar_t* name, const char* exportName, int32_t& major, int32_t& minor,
                               int32_t& build, int32_t& revision, bool& loadable);
// Whether the file version, written "a.b.c.d", is exactly versionText.
bool FileVersionEquals(const std::wstring& path, const std::wstring& versionText);
// Whether the file version is at least versionText, word by word.
bool FileVersionAtLeast(const std::wstring& path, const std::wstring& versionText);

// While alive, "system32" names the 64-bit system folder for this thread on
// 64-bit Windows. Libraries must not be loaded meanwhile, so hold it only
// around file-existence and version reads. Does nothing on 32-bit Windows.
class Wow64FsRedirectionGuard {
public:
    Wow64FsRedirectionGuard();
    ~Wow64FsRedirectionGuard();
    Wow64FsRedirectionGuard(const Wow64FsRedirectionGuard&) = delete;
    Wow64FsRedirectionGuard& operator=(const Wow64FsRedirectionGuard&) = delete;

    BOOL(WINAPI* disable)(PVOID*) = nullptr;
    BOOL(WINAPI* revert)(PVOID) = nullptr;
    PVOID oldValue = nullptr;
    bool wow64 = false;
    bool disabled = false; // only a successful disable is reverted
};

} // namespace Velora
