#include "install/ReplacedFiles.h"

#include "base/FileUtil.h"
#include "base/Handles.h"
#include "base/PathUtil.h"

namespace Velora {

namespace {

// A name taken by an earlier install or anyone else is passed over, not
// replaced.
constexpr unsigned kMaxAsideNames = 1000;
// The longest name of one step of a path.
constexpr size_t kMaxNameLength = 255;

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
    for (Kept& kept : kept_)
        if (IsSamePathName(kept.aside, path)) return MoveAside(kept);
    Kept kept{SpelledAsStored(path), std::wstring(), VLPlainFile()};
    // Writers and readers of the file may stay; no one may rename or delete
    // it while it is kept.
    if (!kept.file.Open(kept.original, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING) ||
        !MoveAside(kept))
        return false;
    kept_.push_back(std::move(kept));
    return true;
}

bool VLReplacedFiles::MoveAside(Kept& kept)
{
    const std::wstring folder = GetParentPath(kept.original);
    const std::wstring name = GetFileName(kept.original);
    for (unsigned tried = 0; tried < kMaxAsideNames; ++tried) {
        const std::wstring mark = L"~vl" + std::to_wstring(nextName_++);
        // The original name first, so that a copy left behind (an install
        // that was killed) says whose it is; a short one where that would not
        // fit a name or a path most programs can open.
        const bool fits =
            name.size() + 1 + mark.size() <= kMaxNameLength && folder.size() + name.size() + 1 + mark.size() < MAX_PATH;
        const std::wstring aside = folder + (fits ? name + L"." : L"") + mark;
        if (kept.file.Rename(aside, false)) {
            kept.aside = aside;
            return true;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return false;
}

void ReportKeptCopy(VLCompressProgress* sink, uint32_t code, const std::wstring& aside, const std::wstring& original,
                    DWORD error)
{
    if (!sink) return;
    VLUnpackEvent event;
    event.code = code;
    event.value1.text = aside.c_str();
    event.value2.number = error;
    event.original = original.c_str();
    sink->OnEvent(&event);
}

void VLReplacedFiles::Discard()
{
    for (Kept& kept : kept_) {
        // A running program may hold a kept library or program open: such a
        // file cannot be deleted now, but is at the next start, as every
        // installer leaves a replaced file that is in use.
        if (!kept.file.Delete()) MoveFileExW(kept.aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    kept_.clear();
}

} // namespace Velora
