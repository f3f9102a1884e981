#include "install/ReplacedFiles.h"

#include "base/FileUtil.h"
#include "base/Handles.h"

#include <windows.h>

namespace Velora {

namespace {

// Kept names are the file's own name with ".~vl" and a number: a name an
// earlier install left behind is passed over, not replaced.
constexpr unsigned kMaxAsideNames = 1000;
constexpr int kRemoveAttempts = 40;
constexpr DWORD kRemoveRetryMs = 50;

// The path with its last part spelled as the folder holds it.
std::wstring SpelledAsStored(const std::wstring& path)
{
    // A wildcard would find some other file.
    if (path.find_first_of(L"*?<>\"") != std::wstring::npos) return path;
    WIN32_FIND_DATAW found;
    VLFindHandle find(FindFirstFileW(path.c_str(), &found));
    if (!find.Valid()) return path;
    return path.substr(0, path.find_last_of(L"\\/") + 1) + found.cFileName;
}

} // namespace

bool VLReplacedFiles::Keep(const std::wstring& path)
{
    const std::wstring original = SpelledAsStored(path);
    for (unsigned n = 0; n < kMaxAsideNames; ++n) {
        const std::wstring aside = original + L".~vl" + std::to_wstring(n);
        if (MoveFileExW(path.c_str(), aside.c_str(), 0)) {
            kept_.push_back({path, original, aside});
            paths_.insert(path);
            return true;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return false;
}

bool VLReplacedFiles::PutBackOne(const Kept& kept)
{
    if (PathExists(kept.path) && !RemovePatiently(kept.path)) return false;
    return MoveFileExW(kept.aside.c_str(), kept.original.c_str(), 0) != 0;
}

void VLReplacedFiles::Discard()
{
    for (const Kept& kept : kept_) {
        // A running program may hold a kept library or program open: such a
        // file cannot be deleted now, but is at the next start, as every
        // installer leaves a replaced file that is in use.
        if (!DeleteFileForce(kept.aside) && FileExists(kept.aside))
            MoveFileExW(kept.aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    kept_.clear();
    paths_.clear();
}

bool RemovePatiently(const std::wstring& path)
{
    for (int attempt = 0; attempt < kRemoveAttempts; ++attempt) {
        if (DirectoryExists(path))
            DeleteTree(path);
        else
            DeleteFileForce(path);
        if (!PathExists(path)) return true;
        Sleep(kRemoveRetryMs);
    }
    return false;
}

} // namespace Velora
