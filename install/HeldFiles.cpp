#include "install/HeldFiles.h"

#include "base/FindFile.h"
#include "base/PathUtil.h"
#include "base/StringUtil.h"

#include <algorithm>
#include <map>

namespace Velora {

namespace {

constexpr int kDeleteAttempts = 40;
constexpr DWORD kDeleteRetryMs = 50;

// The places the command line may start a program from, the way
// CreateProcessW reads its first token: quoted, or unquoted up to any blank
// that leaves a name of a program (".exe" added when the name has no
// extension), each as GetPathKey spells it.
std::vector<std::wstring> ProgramKeys(std::wstring commandLine)
{
    TrimLeft(commandLine, L" \t");
    std::vector<std::wstring> tokens, keys;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const size_t close = commandLine.find(L'"', 1);
        tokens.push_back(commandLine.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
    } else {
        for (size_t end = commandLine.find(L' '); end != std::wstring::npos; end = commandLine.find(L' ', end + 1))
            tokens.push_back(commandLine.substr(0, end));
        tokens.push_back(commandLine);
    }
    for (const std::wstring& token : tokens) {
        if (!IsFullPath(token)) continue;
        keys.push_back(GetPathKey(token));
        keys.push_back(GetPathKey(token + L".exe"));
    }
    return keys;
}

} // namespace

VLPlainFile& VLHeldFiles::Hold(const std::wstring& path, VLPlainFile file)
{
    VLFileId id;
    GetFileId(file.file.handle.Get(), id);
    files_.push_back({path, GetPathKey(path), id, Stamp(), std::move(file)});
    return files_.back().file;
}

VLHeldFiles::Held* VLHeldFiles::Lookup(const std::wstring& path)
{
    const std::wstring key = GetPathKey(path);
    for (Held& held : files_)
        if (IsSamePathName(held.key, key)) return &held;
    return nullptr;
}

VLPlainFile* VLHeldFiles::Find(const std::wstring& path)
{
    Held* held = Lookup(path);
    return held && held->file.file.handle.Valid() ? &held->file : nullptr;
}

bool VLHeldFiles::Contains(const std::wstring& path) const
{
    return const_cast<VLHeldFiles*>(this)->Lookup(path) != nullptr;
}

bool VLHeldFiles::Delete(const std::wstring& path)
{
    const std::wstring key = GetPathKey(path);
    for (auto held = files_.begin(); held != files_.end(); ++held) {
        if (!IsSamePathName(held->key, key)) continue;
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
    std::wstring prefix = GetPathKey(folder);
    if (prefix.empty() || prefix.back() != L'\\') prefix += L'\\';
    for (size_t i = files_.size(); i-- > 0;) {
        const std::wstring& key = files_[i].key;
        if (key.size() > prefix.size() && IsSamePathName(key.substr(0, prefix.size()), prefix))
            Delete(std::wstring(files_[i].path));
    }
}

void VLHeldFiles::LetGoAllBut(const std::wstring& commandLine)
{
    const std::vector<std::wstring> programs = ProgramKeys(commandLine);
    for (Held& held : files_) {
        bool started = false;
        for (const std::wstring& key : programs) started = started || IsSamePathName(held.key, key);
        if (!started) LetGo(held);
    }
}

void VLHeldFiles::LetGoAll()
{
    for (Held& held : files_) LetGo(held);
}

VLHeldFiles::Watch::Watch(VLHeldFiles& held) : held_(held)
{
    for (const Held& file : held_.files_) {
        const std::wstring folder = FolderOf(file.key);
        if (std::none_of(held_.watches_.begin(), held_.watches_.end(),
                         [&](const auto& watch) { return IsSamePathName(watch->Folder(), folder); }))
            held_.watches_.push_back(std::make_unique<VLFolderChanges>(folder));
    }
    for (const auto& watch : held_.watches_) watch->Start();
}

VLHeldFiles::Watch::~Watch()
{
    // The program has ended, and with it every change it made: the file
    // system reports a change as it makes it (under Wine, the server makes
    // renames and deletes itself and reads their changes before it sees the
    // process end).
    for (const auto& watch : held_.watches_) watch->Stop();
}

void VLHeldFiles::Watch::Collect()
{
    for (const auto& watch : held_.watches_) watch->Collect();
}

void VLHeldFiles::LetGo(Held& held)
{
    if (!held.file.file.handle.Valid()) return;
    held.stamp = StampOf(held.file);
    held.file.file.Close();
}

VLHeldFiles::Stamp VLHeldFiles::StampOf(VLPlainFile& file)
{
    Stamp stamp;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file.file.handle.Get(), &information)) return stamp;
    stamp.known = true;
    stamp.size = (uint64_t(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    stamp.written = information.ftLastWriteTime;
    return stamp;
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
    // this install made is not there to delete, and nothing else is; the
    // caller says what stays.
    return false;
}

void VLHeldFiles::FollowRenames()
{
    // Names in the order the file system sees them: case folded.
    struct NameOrder {
        bool operator()(const std::wstring& a, const std::wstring& b) const
        {
            return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_LESS_THAN;
        }
    };
    for (const auto& watch : watches_) {
        if (!watch->IsComplete()) continue;
        // The folder's files by the name each has as the changes go by: one
        // pass over the changes for all of them.
        std::map<std::wstring, size_t, NameOrder> named;
        for (size_t i = 0; i < gone_.size(); ++i)
            if (IsSamePathName(FolderOf(gone_[i].key), watch->Folder()))
                named[gone_[i].key.substr(gone_[i].key.find_last_of(L'\\') + 1)] = i;
        const std::vector<VLFolderChanges::Change>& changes = watch->Changes();
        for (size_t i = 0; i < changes.size() && !named.empty(); ++i) {
            const auto file = named.find(changes[i].name);
            // A rename within the folder is heard as its old name, then its
            // new one; it puts an end to a file that had the new name.
            if (changes[i].action == FILE_ACTION_RENAMED_OLD_NAME && i + 1 < changes.size() &&
                changes[i + 1].action == FILE_ACTION_RENAMED_NEW_NAME) {
                const std::wstring& to = changes[++i].name;
                const auto over = named.find(to);
                if (over != named.end() && over != file) {
                    gone_[over->second].renamed.clear();
                    named.erase(over);
                }
                if (file == named.end()) continue;
                const size_t index = file->second;
                named.erase(file);
                named[to] = index;
                gone_[index].renamed = watch->Folder() + L'\\' + to;
            } else if (file != named.end()) {
                // Removed, or another file made under its name.
                gone_[file->second].renamed.clear();
                named.erase(file);
            }
        }
    }
}

std::vector<std::wstring> VLHeldFiles::FindMoved() const
{
    std::vector<std::wstring> where(gone_.size());
    for (const std::wstring& folder : folders_) {
        VLFindFile find;
        VLFindData entry;
        std::wstring path;
        auto fits = [&](const Gone& gone) {
            return (gone.stamp.known && gone.stamp.size == entry.size &&
                    gone.stamp.written.dwLowDateTime == entry.lastWriteTime.dwLowDateTime &&
                    gone.stamp.written.dwHighDateTime == entry.lastWriteTime.dwHighDateTime) ||
                   (!gone.renamed.empty() && IsSamePathName(gone.renamed, path));
        };
        for (bool found = find.FindFirst(folder + L"\\*", entry); found; found = find.FindNext(entry)) {
            path = folder + L'\\' + entry.name;
            if (entry.IsDots() || (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) ||
                std::none_of(gone_.begin(), gone_.end(), fits))
                continue;
            // Opened as itself, without access, only to be told apart.
            VLFile file;
            VLFileId id;
            if (!file.Open(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT) ||
                !GetFileId(file.handle.Get(), id))
                continue;
            for (size_t i = 0; i < gone_.size(); ++i)
                if (fits(gone_[i]) && gone_[i].id == id) where[i] = path;
        }
    }
    return where;
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
