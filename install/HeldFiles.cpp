#include "install/HeldFiles.h"

#include "base/FindFile.h"
#include "base/PathUtil.h"
#include "base/StringUtil.h"

#include <algorithm>
#include <set>

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

// Whether the path is the folder or below it; rest: what follows the
// folder's name ("" or "\name...").
bool Below(const std::wstring& path, const std::wstring& folder, std::wstring& rest)
{
    if (path.size() < folder.size() || !IsSamePathName(path.substr(0, folder.size()), folder) ||
        (path.size() > folder.size() && path[folder.size()] != L'\\'))
        return false;
    rest = path.substr(folder.size());
    return true;
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

VLHeldFiles::Watch::Watch(VLHeldFiles& held, const std::vector<std::wstring>& lasting) : held_(held)
{
    // Keys without a final separator: a drive's root is "C:".
    std::vector<std::wstring> lastingKeys, roots;
    for (const std::wstring& folder : lasting) {
        std::wstring key = GetPathKey(folder);
        if (!key.empty() && key.back() == L'\\') key.pop_back();
        if (!key.empty()) lastingKeys.push_back(key);
    }
    std::wstring rest;
    for (const Held& file : held_.files_) {
        const std::wstring* deepest = nullptr;
        for (const std::wstring& key : lastingKeys)
            if (Below(FolderOf(file.key), key, rest) && (!deepest || key.size() > deepest->size())) deepest = &key;
        if (deepest && std::none_of(roots.begin(), roots.end(),
                                    [&](const std::wstring& root) { return IsSamePathName(root, *deepest); }))
            roots.push_back(*deepest);
    }
    for (const std::wstring& root : roots) {
        // A root inside another is heard through the other's tree.
        if (std::any_of(roots.begin(), roots.end(), [&](const std::wstring& other) {
                return other.size() < root.size() && Below(root, other, rest);
            }))
            continue;
        auto watch = std::make_unique<VLFolderChanges>(root.back() == L':' ? root + L'\\' : root);
        watch->Start();
        // Every folder on the way to the files, each once: a name sorts
        // before the names below it.
        std::set<std::wstring, NameOrder> below;
        for (const Held& file : held_.files_) {
            if (!Below(FolderOf(file.key), root, rest) || rest.empty()) continue;
            for (size_t end = rest.find(L'\\', 1);; end = rest.find(L'\\', end + 1)) {
                below.insert(rest.substr(1, end - 1));
                if (end == std::wstring::npos) break;
            }
        }
        for (const std::wstring& folder : below) watch->Reach(folder);
        held_.watches_.push_back(std::move(watch));
    }
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
    held.stamp = StampOf(held.file.file.handle.Get());
    held.pin = pins_.Pin(held.key, held.file.file.handle.Get());
    held.file.file.Close();
}

bool VLHeldFiles::SameStamp(const Stamp& a, const Stamp& b)
{
    return a.known && b.known && a.size == b.size && a.written.dwLowDateTime == b.written.dwLowDateTime &&
           a.written.dwHighDateTime == b.written.dwHighDateTime;
}

VLHeldFiles::Stamp VLHeldFiles::StampOf(HANDLE file)
{
    Stamp stamp;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information)) return stamp;
    stamp.known = true;
    stamp.size = (uint64_t(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    stamp.written = information.ftLastWriteTime;
    return stamp;
}

bool VLHeldFiles::Reopen(const Held& held, DWORD access, DWORD share, VLPlainFile& out)
{
    VLFileId id;
    // Its pin is the one other name the install gave it.
    if (!out.Open(held.path, access, share, OPEN_EXISTING, held.pin.empty() ? 1 : 2)) return false;
    if (GetFileId(out.file.handle.Get(), id) && id == held.id) return true;
    out.file.Close();
    SetLastError(ERROR_FILE_INVALID);
    return false;
}

bool VLHeldFiles::DeleteOne(Held& held, bool* others)
{
    if (held.file.file.handle.Valid()) return DeleteHeldFile(held.file);
    VLPlainFile file;
    if (Reopen(held, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, file)) {
        BY_HANDLE_FILE_INFORMATION information;
        if (others)
            *others =
                !GetFileInformationByHandle(file.file.handle.Get(), &information) || information.nNumberOfLinks > 2;
        if (!held.pin.empty() || SameStamp(StampOf(file.file.handle.Get()), held.stamp)) return DeleteHeldFile(file);
        SetLastError(ERROR_FILE_INVALID);
        return false;
    }
    // Gone, or its name leads elsewhere now (another file, a link): the file
    // this install made is not there to delete, and nothing else is; the
    // caller says what stays.
    return false;
}

std::vector<VLNameTree::Fate> VLHeldFiles::Follow(std::vector<std::wstring>& made) const
{
    VLNameTree tree;
    for (size_t i = 0; i < files_.size(); ++i) tree.Place(files_[i].key, i);
    for (const auto& watch : watches_) tree.Follow(watch->Folder(), watch->Changes());
    std::vector<VLNameTree::Fate> fates;
    for (size_t i = 0; i < files_.size(); ++i) fates.push_back(tree.FateOf(i));
    made = tree.Made();
    return fates;
}

bool VLHeldFiles::Identify(const std::wstring& path, VLFileId& id, Stamp& stamp)
{
    VLFile file;
    if (!file.Open(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                   FILE_FLAG_OPEN_REPARSE_POINT) ||
        !GetFileId(file.handle.Get(), id))
        return false;
    stamp = StampOf(file.handle.Get());
    return true;
}

int VLHeldFiles::OtherNames(const Gone& gone, Stamp* now)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (gone.pin.empty() || !VLFilePins::Look(gone.pin, gone.id, information)) return -1;
    if (now)
        *now = {true, (uint64_t(information.nFileSizeHigh) << 32) | information.nFileSizeLow,
                information.ftLastWriteTime};
    return int(information.nNumberOfLinks) - 1;
}

void VLHeldFiles::Locate(const std::vector<std::wstring>& made)
{
    std::vector<Gone*> sought;
    for (Gone& gone : gone_)
        if (OtherNames(gone, &gone.stamp) != 0) sought.push_back(&gone);
    VLFileId id;
    Stamp stamp;
    // The entry is the file of any sought with its stamp.
    const auto take = [&](const std::wstring& path, const Stamp& listed) {
        bool any = false;
        for (const Gone* gone : sought) any = any || (gone->where.empty() && SameStamp(gone->stamp, listed));
        if (!any || !Identify(path, id, stamp)) return;
        for (Gone* gone : sought)
            if (gone->where.empty() && gone->id == id) gone->where = path;
    };
    const auto unfound = [&] {
        return std::any_of(sought.begin(), sought.end(), [](const Gone* gone) { return gone->where.empty(); });
    };
    for (Gone* gone : sought)
        if (!gone->fate.removed && !IsSamePathName(gone->fate.path, gone->key) &&
            Identify(gone->fate.path, id, stamp) && id == gone->id && SameStamp(stamp, gone->stamp))
            gone->where = gone->fate.path;
    // A folder the changes made is searched with all below it but links:
    // Wine tells a folder moved between folders as one removed and one
    // made, so what was in it is heard of no more.
    std::vector<std::wstring> madeFolders;
    WIN32_FILE_ATTRIBUTE_DATA data;
    for (size_t i = 0; i < made.size() && unfound(); ++i) {
        if (!GetFileAttributesExW(made[i].c_str(), GetFileExInfoStandard, &data)) continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            madeFolders.push_back(made[i]);
        else
            take(made[i], {true, (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow, data.ftLastWriteTime});
    }
    // The install's folders, then the folders beside them, each once.
    std::vector<std::wstring> folders = folders_;
    std::set<std::wstring, NameOrder> seen(folders_.begin(), folders_.end()), parents;
    for (size_t i = 0; i < folders_.size() && unfound(); ++i) {
        const std::wstring parent = FolderOf(folders_[i]);
        if (!parents.insert(parent).second) continue;
        VLFindFile find;
        VLFindData entry;
        for (bool found = find.FindFirst(parent + L"\\*", entry); found; found = find.FindNext(entry))
            if (!entry.IsDots() && (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                seen.insert(parent + L'\\' + entry.name).second)
                folders.push_back(parent + L'\\' + entry.name);
    }
    // The folders the changes lead the install's files to: Wine may tell a
    // file moved into one of them by the name of another folder it once
    // knew by the same name.
    for (const Gone& gone : gone_)
        if (!gone.fate.removed && seen.insert(FolderOf(gone.fate.path)).second)
            folders.push_back(FolderOf(gone.fate.path));
    const size_t shallow = folders.size();
    for (const std::wstring& folder : madeFolders)
        if (seen.insert(folder).second) folders.push_back(folder);
    for (size_t i = 0; i < folders.size() && unfound(); ++i) {
        VLFindFile find;
        VLFindData entry;
        for (bool found = find.FindFirst(folders[i] + L"\\*", entry); found; found = find.FindNext(entry)) {
            const std::wstring path = folders[i] + L'\\' + entry.name;
            if (entry.IsDots()) continue;
            if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY))
                take(path, {true, entry.size, entry.lastWriteTime});
            else if (i >= shallow && !(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) && seen.insert(path).second)
                folders.push_back(path);
        }
    }
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
