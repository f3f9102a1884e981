#include "install/HeldFiles.h"

#include "base/StringUtil.h"

namespace Velora {

namespace {

constexpr int kDeleteAttempts = 40;
constexpr DWORD kDeleteRetryMs = 50;

// Whether the command line starts the program at path, the way
// CreateProcessW reads its first token: quoted, or unquoted up to any blank
// that leaves a name of a program (".exe" added when the name has no
// extension).
bool StartsProgram(std::wstring commandLine, const std::wstring& path)
{
    TrimLeft(commandLine, L" \t");
    auto names = [&](const std::wstring& token) {
        return IsSamePathName(token, path) || IsSamePathName(token + L".exe", path);
    };
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const size_t close = commandLine.find(L'"', 1);
        return names(commandLine.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
    }
    for (size_t end = 0; end != std::wstring::npos; end = commandLine.find(L' ', end + 1))
        if (end > 0 && names(commandLine.substr(0, end))) return true;
    return names(commandLine);
}

} // namespace

VLPlainFile& VLHeldFiles::Hold(const std::wstring& path, VLPlainFile file)
{
    VLFileId id;
    GetFileId(file.file.handle.Get(), id);
    files_.push_back({path, id, std::move(file)});
    return files_.back().file;
}

VLHeldFiles::Held* VLHeldFiles::Lookup(const std::wstring& path)
{
    for (Held& held : files_)
        if (IsSamePathName(held.path, path)) return &held;
    return nullptr;
}

VLPlainFile* VLHeldFiles::Find(const std::wstring& path)
{
    Held* held = Lookup(path);
    return held && held->file.file.handle.Valid() ? &held->file : nullptr;
}

bool VLHeldFiles::Contains(const std::wstring& path) const
{
    for (const Held& held : files_)
        if (IsSamePathName(held.path, path)) return true;
    return false;
}

bool VLHeldFiles::Delete(const std::wstring& path)
{
    for (auto held = files_.begin(); held != files_.end(); ++held) {
        if (!IsSamePathName(held->path, path)) continue;
        const bool deleted = DeleteOne(*held);
        const DWORD error = GetLastError();
        files_.erase(held);
        SetLastError(error);
        return deleted;
    }
    return false;
}

void VLHeldFiles::DeleteBelow(const std::wstring& folder)
{
    std::wstring prefix = folder;
    if (prefix.empty() || prefix.back() != L'\\') prefix += L'\\';
    for (size_t i = files_.size(); i-- > 0;) {
        const std::wstring& path = files_[i].path;
        if (path.size() > prefix.size() && IsSamePathName(path.substr(0, prefix.size()), prefix))
            Delete(std::wstring(path));
    }
}

void VLHeldFiles::LetGoAllBut(const std::wstring& commandLine)
{
    for (Held& held : files_)
        if (!StartsProgram(commandLine, held.path)) held.file.file.Close();
}

void VLHeldFiles::LetGoAll()
{
    for (Held& held : files_) held.file.file.Close();
}

bool VLHeldFiles::Reopen(const Held& held, DWORD access, DWORD share, VLPlainFile& out)
{
    VLFileId id;
    if (!out.Open(held.path, access, share, OPEN_EXISTING)) return false;
    if (GetFileId(out.file.handle.Get(), id) && id == held.id) return true;
    out.file.Close();
    SetLastError(ERROR_FILE_INVALID);
    return false;
}

bool VLHeldFiles::DeleteOne(Held& held)
{
    if (held.file.file.handle.Valid()) return DeleteHeldFile(held.file);
    VLPlainFile file;
    if (Reopen(held, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, file))
        return DeleteHeldFile(file);
    // Gone, or its name leads elsewhere now (another file, a link): the file
    // this install made is not there to delete, and nothing else is.
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_INVALID ||
           error == kErrLinkInPath;
}

DWORD VLHeldFiles::MakeWritable(VLPlainFile& file)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file.file.handle.Get(), &information)) return 0;
    const DWORD attributes = information.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        FILE_BASIC_INFO basic = {};
        basic.FileAttributes = attributes & ~DWORD(FILE_ATTRIBUTE_READONLY);
        if (!basic.FileAttributes) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(file.file.handle.Get(), FileBasicInfo, &basic, sizeof(basic));
    }
    return attributes;
}

void VLHeldFiles::RestoreAttributes(VLPlainFile& file, DWORD attributes)
{
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) return;
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = attributes;
    SetFileInformationByHandle(file.file.handle.Get(), FileBasicInfo, &basic, sizeof(basic));
}

bool DeleteHeldFile(VLPlainFile& held)
{
    for (int attempt = 0;; ++attempt) {
        if (held.Delete()) return held.file.Close();
        if (attempt + 1 == kDeleteAttempts) return false;
        Sleep(kDeleteRetryMs);
    }
}

} // namespace Velora
