#include "download/BTTaskRecord.h"

#include "base/File.h"
#include "base/FileUtil.h"
#include "base/FolderScope.h"
#include "base/PathUtil.h"
#include "base/PlainFile.h"
#include "base/StringUtil.h"
#include "base/TextConvert.h"

#include <libtorrent/torrent_info.hpp>

#include <algorithm>
#include <iterator>
#include <set>

namespace Velora {

namespace {

// Keeps in the list (of strings, or of tiers of strings) only what held
// lacks, each entry once and at most kMaxRecordListEntries of them; held
// gains what is kept.
void KeepOnlyNew(lt::entry* list, std::set<std::string>& held)
{
    if (!list || list->type() != lt::entry::list_t) return;
    int room = kMaxRecordListEntries;
    auto keep = [&](const lt::entry& url) {
        if (room == 0 || url.type() != lt::entry::string_t || !held.insert(url.string()).second) return false;
        --room;
        return true;
    };
    lt::entry::list_type kept;
    for (const lt::entry& item : list->list()) {
        if (item.type() != lt::entry::list_t) {
            if (keep(item)) kept.push_back(item);
            continue;
        }
        lt::entry::list_type tier;
        std::copy_if(item.list().begin(), item.list().end(), std::back_inserter(tier), keep);
        if (!tier.empty()) kept.emplace_back(std::move(tier));
    }
    *list = std::move(kept);
}

} // namespace

void WriteTaskRecord(const BTTaskRecord& record, lt::entry& resumeData, const lt::torrent_info* copy)
{
    lt::entry& data = resumeData["taskData"];
    data = lt::entry::dictionary_type();
    data["savePath"] = record.savePath;
    data["resumeFile"] = record.resumeFile;
    data["torrentFile"] = record.torrentFile;
    data["orgTorrentFile"] = record.orgTorrentFile;
    data["addAsSeed"] = lt::entry::integer_type(record.addAsSeed ? 1 : 0);
    data["urlSeed"] = lt::entry::list_type(record.urlSeed.begin(), record.urlSeed.end());
    data["rootPath"] = record.rootPath;

    // The engine's lists repeat the web seeds of "taskData" and the torrent
    // copy's own trackers and web seeds, which every add takes from the copy
    // again: only the rest is kept.
    std::set<std::string> urlSeeds, trackers, httpSeeds;
    KeepOnlyNew(data.find_key("urlSeed"), urlSeeds);
    if (copy) {
        for (const lt::announce_entry& tracker : copy->trackers()) trackers.insert(tracker.url);
        for (const lt::web_seed_entry& seed : copy->web_seeds())
            (seed.type == lt::web_seed_entry::url_seed ? urlSeeds : httpSeeds).insert(seed.url);
    }
    KeepOnlyNew(resumeData.find_key("trackers"), trackers);
    KeepOnlyNew(resumeData.find_key("url-list"), urlSeeds);
    KeepOnlyNew(resumeData.find_key("httpseeds"), httpSeeds);
}

namespace {

bool ReadString(const lt::bdecode_node& dict, const char* key, std::string& out)
{
    lt::bdecode_node value = dict.dict_find(key);
    if (!value) return true;
    if (value.type() != lt::bdecode_node::string_t) return false;
    out = std::string(value.string_value());
    return true;
}

} // namespace

bool ReadTaskRecord(BTTaskRecord& record, const lt::bdecode_node& resumeData)
{
    if (resumeData.type() == lt::bdecode_node::none_t) return true;
    if (resumeData.type() != lt::bdecode_node::dict_t) return false;
    lt::bdecode_node data = resumeData.dict_find("taskData");
    if (!data) return true;
    if (data.type() != lt::bdecode_node::dict_t) return false;

    if (!ReadString(data, "savePath", record.savePath) ||
        !ReadString(data, "resumeFile", record.resumeFile) ||
        !ReadString(data, "torrentFile", record.torrentFile) ||
        !ReadString(data, "orgTorrentFile", record.orgTorrentFile) ||
        !ReadString(data, "rootPath", record.rootPath))
        return false;
    if (lt::bdecode_node seed = data.dict_find("addAsSeed")) {
        if (seed.type() != lt::bdecode_node::int_t) return false;
        record.addAsSeed = seed.int_value() != 0;
    }
    if (lt::bdecode_node seeds = data.dict_find("urlSeed")) {
        if (seeds.type() != lt::bdecode_node::list_t) return false;
        for (int i = 0; i < seeds.list_size(); ++i) {
            lt::bdecode_node url = seeds.list_at(i);
            if (url.type() != lt::bdecode_node::string_t) return false;
            record.urlSeed.emplace_back(url.string_value());
        }
    }
    return true;
}

namespace {

// Without case, as the file system compares names.
bool IsTorrentCopyName(const std::wstring& name)
{
    const std::wstring suffix = L".torrent";
    if (name.size() != 40 + suffix.size() || CompareNoCase(name.substr(40), suffix) != 0) return false;
    for (size_t i = 0; i < 40; ++i)
        if (!iswxdigit(name[i])) return false;
    return true;
}

// Data of a record lies below the save folder, and none of it is one of the
// files the folder keeps for itself, not even by a short name.
bool IsDataPath(const VLFolderScope& folder, const std::wstring& savePath, const std::string& relative)
{
    const std::wstring path = ToWideString(relative);
    const std::wstring full = CombinePath(savePath, path);
    std::wstring entry;
    return IsSafeRelativePath(path) && folder.Holds(full, &entry) && EndsInLongNames(full, path) &&
           CompareNoCase(entry, kSeedListName) != 0 && CompareNoCase(GetFileExtension(entry), L".vll") != 0 &&
           !IsTorrentCopyName(entry);
}

// Strings in the list, and in the lists inside it (the trackers' tiers).
int CountEntries(const lt::bdecode_node& list)
{
    int count = 0;
    for (int i = 0; list.type() == lt::bdecode_node::list_t && i < list.list_size(); ++i)
        count += list.list_at(i).type() == lt::bdecode_node::list_t ? list.list_at(i).list_size() : 1;
    return count;
}

bool NamesOnlyItsFolder(const std::string& path, const BTTaskRecord& record, const lt::bdecode_node& root)
{
    std::wstring self, resume;
    if (!GetNormalFullPath(ToWideString(path), self) || !GetNormalFullPath(ToWideString(record.resumeFile), resume) ||
        CompareNoCase(self, resume) != 0)
        return false;
    const VLFolderScope folder(GetParentPath(self));
    const std::wstring savePath = ToWideString(record.savePath);
    std::wstring copy;
    if (!folder.IsFolder(savePath) || !folder.HoldsEntry(ToWideString(record.torrentFile), &copy) ||
        !IsTorrentCopyName(copy) || !IsDataPath(folder, savePath, record.rootPath))
        return false;
    const lt::bdecode_node renamed = root.dict_find_list("mapped_files");
    for (int i = 0; renamed && i < renamed.list_size(); ++i)
        if (!IsDataPath(folder, savePath, std::string(renamed.list_string_value_at(i)))) return false;
    return true;
}

// Nothing the record names is reached through a link: its own file was read
// as itself, and the save folder, the torrent copy and the data (the root
// and the engine's renamed files) lie behind none.
bool NamesNoLink(const BTTaskRecord& record, const lt::bdecode_node& root)
{
    const std::wstring savePath = ToWideString(record.savePath);
    if (!IsPlainFolder(savePath) || !IsPlainPath(ToWideString(record.torrentFile)) ||
        !IsPlainPath(CombinePath(savePath, ToWideString(record.rootPath))))
        return false;
    const lt::bdecode_node renamed = root.dict_find_list("mapped_files");
    for (int i = 0; renamed && i < renamed.list_size(); ++i)
        if (!IsPlainPath(CombinePath(savePath, ToWideString(std::string(renamed.list_string_value_at(i))))))
            return false;
    return true;
}

bool ListsWithinBounds(const BTTaskRecord& record, const lt::bdecode_node& root)
{
    if (record.urlSeed.size() > size_t(kMaxRecordListEntries)) return false;
    for (const char* key : {"url-list", "httpseeds", "trackers", "mapped_files"})
        if (CountEntries(root.dict_find_list(key)) > kMaxRecordListEntries) return false;
    return true;
}

} // namespace

bool LoadTaskRecord(const std::string& path, BTTaskRecord* record, std::vector<char>* bytes)
{
    std::vector<char> file;
    if (path.empty() || !LoadFileBytes(path, file, kMaxRecordBytes) || file.empty()) return false;
    lt::error_code ec;
    lt::bdecode_node root = lt::bdecode(file, ec);
    if (ec) return false;
    BTTaskRecord loaded;
    if (!ReadTaskRecord(loaded, root)) return false;
    if (loaded.savePath.empty() || loaded.rootPath.empty()) return false;
    if (!ListsWithinBounds(loaded, root) || !NamesOnlyItsFolder(path, loaded, root)) return false;
    if (!NamesNoLink(loaded, root)) return false;
    if (record) *record = std::move(loaded);
    if (bytes) *bytes = std::move(file);
    return true;
}

void DeleteTaskFiles(const std::string& path, BTRemoveMode mode)
{
    BTTaskRecord record;
    if (LoadTaskRecord(path, &record)) DeleteRecordFiles(record, mode);
}

void DeleteRecordFiles(const BTTaskRecord& record, BTRemoveMode mode)
{
    if (DeletesData(mode)) {
        const std::wstring data = CombinePath(ToWideString(record.savePath), ToWideString(record.rootPath));
        if (DirectoryExists(data))
            DeletePlainTree(data);
        else
            DeletePlainFile(data);
    }
    if (ForgetsRecord(mode)) {
        if (!record.resumeFile.empty()) DeletePlainFile(ToWideString(record.resumeFile));
        DeletePlainFile(ToWideString(record.torrentFile));
    }
}

namespace {

int WriteAtStart(const std::string& path, const char* data, size_t size, DWORD disposition)
{
    VLPlainFile plain;
    if (path.empty() || !plain.Open(ToWideString(path), GENERIC_WRITE, FILE_SHARE_READ, disposition)) return -1;
    VLFile& file = plain.file;
    if (size > MAXDWORD) return -3;
    DWORD written = 0;
    if (size != 0 && !file.Write(data, static_cast<DWORD>(size), &written)) return -3;
    return 0;
}

} // namespace

int save_file(const std::string& path, const std::vector<char>& bytes)
{
    return WriteAtStart(path, bytes.data(), bytes.size(), OPEN_ALWAYS);
}

int SaveTorrentData(const std::string& path, const std::string& bytes)
{
    return WriteAtStart(path, bytes.data(), bytes.size(), CREATE_NEW);
}

bool LoadFileBytes(const std::string& path, std::vector<char>& bytes, uint64_t limit)
{
    VLPlainFile plain;
    VLFile& file = plain.file;
    uint64_t size = 0;
    if (!plain.Open(ToWideString(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING) ||
        !file.GetSize(size) || size > limit)
        return false;
    bytes.resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!file.Read(bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got) || got == 0)
            return false;
        done += got;
    }
    return true;
}

} // namespace Velora
