#include "install/HeldFiles.h"

#include "base/FindFile.h"
#include "base/PathUtil.h"
#include "base/StringUtil.h"

#include <algorithm>
#include <map>
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

// Names in the order the file system sees them: case folded. The names below
// a folder ("sub\...") come one after another.
struct NameOrder {
    bool operator()(const std::wstring& a, const std::wstring& b) const
    {
        return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_LESS_THAN;
    }
};
using NamedFiles = std::map<std::wstring, size_t, NameOrder>;

// Takes the files of the name, and those below it where it names a folder,
// out of the map: what follows the name and the file's index.
std::vector<std::pair<std::wstring, size_t>> TakeOut(NamedFiles& named, const std::wstring& name)
{
    std::vector<std::pair<std::wstring, size_t>> taken;
    const auto exact = named.find(name);
    if (exact != named.end()) {
        taken.push_back({std::wstring(), exact->second});
        named.erase(exact);
    }
    std::wstring rest;
    for (auto below = named.lower_bound(name + L'\\');
         below != named.end() && Below(below->first, name, rest) && !rest.empty(); below = named.erase(below))
        taken.push_back({rest, below->second});
    return taken;
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
    // A drive's root is not taken: its tree is the whole drive.
    std::vector<std::wstring> lastingKeys, roots;
    for (const std::wstring& folder : lasting)
        if (folder.size() > 3) lastingKeys.push_back(GetPathKey(folder));
    std::wstring rest;
    for (const Held& file : held_.files_) {
        const std::wstring* deepest = nullptr;
        for (const std::wstring& key : lastingKeys)
            if (Below(FolderOf(file.key), key, rest) && (!deepest || key.size() > deepest->size())) deepest = &key;
        if (deepest && std::none_of(roots.begin(), roots.end(),
                                    [&](const std::wstring& root) { return IsSamePathName(root, *deepest); }))
            roots.push_back(*deepest);
    }
    // A root inside another is heard through the other's tree.
    for (const std::wstring& root : roots)
        if (std::none_of(roots.begin(), roots.end(), [&](const std::wstring& other) {
                return other.size() < root.size() && Below(root, other, rest);
            }))
            held_.watches_.push_back(std::make_unique<VLFolderChanges>(root));
    for (const auto& watch : held_.watches_) {
        watch->Start();
        // Every folder on the way to the files, each once: a name sorts
        // before the names below it.
        std::set<std::wstring, NameOrder> below;
        for (const Held& file : held_.files_) {
            if (!Below(FolderOf(file.key), watch->Folder(), rest) || rest.empty()) continue;
            for (size_t end = rest.find(L'\\', 1);; end = rest.find(L'\\', end + 1)) {
                below.insert(rest.substr(1, end - 1));
                if (end == std::wstring::npos) break;
            }
        }
        for (const std::wstring& folder : below) watch->Reach(folder);
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
    std::wstring rest;
    for (const auto& watch : watches_) {
        if (!watch->IsComplete()) continue;
        // The tree's files by the name each has below its folder as the
        // changes go by: one pass over the changes for all of them.
        NamedFiles named;
        std::vector<bool> renamed(gone_.size());
        for (size_t i = 0; i < gone_.size(); ++i)
            if (Below(gone_[i].key, watch->Folder(), rest) && !rest.empty()) named[rest.substr(1)] = i;
        // Wine names a change inside a renamed folder by the name the folder
        // had when it was first watched: each such name and where it leads
        // now. Once another folder takes such a name, its changes cannot be
        // told from the renamed one's, and the tree's changes are not
        // followed at all.
        struct Alias {
            std::wstring stale, current;
        };
        std::vector<Alias> aliases;
        bool followed = true;
        const auto now = [&](const std::wstring& name) {
            const Alias* found = nullptr;
            for (const Alias& alias : aliases)
                if (Below(name, alias.stale, rest) && !rest.empty() &&
                    (!found || alias.stale.size() > found->stale.size()))
                    found = &alias;
            return found ? found->current + name.substr(found->stale.size()) : name;
        };
        const std::vector<VLFolderChanges::Change>& changes = watch->Changes();
        for (size_t i = 0; i < changes.size() && followed && !named.empty(); ++i) {
            const std::wstring& name = changes[i].name;
            // A rename is heard as its old name, then its new one; it puts an
            // end to what had the new name, and takes the files below a
            // folder along.
            if (changes[i].action == FILE_ACTION_RENAMED_OLD_NAME && i + 1 < changes.size() &&
                changes[i + 1].action == FILE_ACTION_RENAMED_NEW_NAME) {
                const std::wstring from = now(name), &toName = changes[++i].name, to = now(toName);
                for (auto alias = aliases.begin(); alias != aliases.end();) {
                    // A name given back: to the same folder, or to another.
                    if (IsSamePathName(alias->stale, toName)) {
                        followed = followed && IsSamePathName(alias->current, from);
                        alias = aliases.erase(alias);
                        continue;
                    }
                    if (Below(alias->current, from, rest)) alias->current = to + rest;
                    ++alias;
                }
                const auto moving = TakeOut(named, from);
                TakeOut(named, to);
                for (const auto& [below, index] : moving) {
                    named[to + below] = index;
                    renamed[index] = true;
                }
                if (!IsSamePathName(name, to)) aliases.push_back({name, to});
            } else {
                // Removed, or another file or folder made under its name.
                for (const Alias& alias : aliases) followed = followed && !IsSamePathName(alias.stale, name);
                TakeOut(named, now(name));
            }
        }
        if (!followed) continue;
        for (const auto& [name, index] : named)
            if (renamed[index]) gone_[index].renamed = watch->Folder() + L'\\' + name;
    }
}

std::vector<std::wstring> VLHeldFiles::FindMoved() const
{
    std::vector<std::wstring> where(gone_.size());
    // Opened as itself, without access, only to be told apart.
    const auto identify = [](const std::wstring& path, VLFileId& id) {
        VLFile file;
        return file.Open(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT) &&
               GetFileId(file.handle.Get(), id);
    };
    VLFileId id;
    for (size_t i = 0; i < gone_.size(); ++i)
        if (!gone_[i].renamed.empty() && identify(gone_[i].renamed, id) && gone_[i].id == id)
            where[i] = gone_[i].renamed;
    for (const std::wstring& folder : folders_) {
        VLFindFile find;
        VLFindData entry;
        auto fits = [&](size_t i) {
            const Stamp& stamp = gone_[i].stamp;
            return where[i].empty() && stamp.known && stamp.size == entry.size &&
                   stamp.written.dwLowDateTime == entry.lastWriteTime.dwLowDateTime &&
                   stamp.written.dwHighDateTime == entry.lastWriteTime.dwHighDateTime;
        };
        for (bool found = find.FindFirst(folder + L"\\*", entry); found; found = find.FindNext(entry)) {
            if (entry.IsDots() || (entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
            bool any = false;
            for (size_t i = 0; i < gone_.size() && !any; ++i) any = fits(i);
            const std::wstring path = folder + L'\\' + entry.name;
            if (!any || !identify(path, id)) continue;
            for (size_t i = 0; i < gone_.size(); ++i)
                if (fits(i) && gone_[i].id == id) where[i] = path;
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
