#include "download/BTTaskRecord.h"

#include "base/File.h"
#include "base/FileUtil.h"
#include "base/PathUtil.h"
#include "base/TextConvert.h"

namespace Velora {

void WriteTaskRecord(const BTTaskRecord& record, lt::entry& resumeData)
{
    lt::entry& data = resumeData["taskData"];
    data = lt::entry::dictionary_type();
    data["savePath"] = record.savePath;
    data["resumeFile"] = record.resumeFile;
    data["torrentFile"] = record.torrentFile;
    data["orgTorrentFile"] = record.orgTorrentFile;
    data["addAsSeed"] = lt::entry::integer_type(record.addAsSeed ? 1 : 0);
    lt::entry::list_type seeds;
    for (const std::string& url : record.urlSeed) seeds.emplace_back(url);
    data["urlSeed"] = std::move(seeds);
    data["rootPath"] = record.rootPath;
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

bool LoadTaskRecord(const std::string& path, BTTaskRecord* record)
{
    std::vector<char> bytes;
    if (path.empty() || !LoadFileBytes(path, bytes) || bytes.empty()) return false;
    lt::error_code ec;
    lt::bdecode_node root = lt::bdecode(bytes, ec);
    if (ec) return false;
    BTTaskRecord loaded;
    if (!ReadTaskRecord(loaded, root)) return false;
    if (loaded.savePath.empty() || loaded.rootPath.empty()) return false;
    if (record) *record = std::move(loaded);
    return true;
}

namespace {

bool IsTorrentCopyName(const std::wstring& name)
{
    const std::wstring suffix = L".torrent";
    if (name.size() != 40 + suffix.size() || name.compare(40, suffix.size(), suffix) != 0)
        return false;
    for (size_t i = 0; i < 40; ++i)
        if (!iswxdigit(name[i])) return false;
    return true;
}

} // namespace

void DeleteTaskFiles(const std::string& path, BTRemoveMode mode)
{
    BTTaskRecord record;
    if (!LoadTaskRecord(path, &record)) return;
    const std::wstring savePath = ToWideString(record.savePath);
    if (DeletesData(mode) && IsAbsolutePath(savePath)) {
        const std::wstring root = ToWideString(record.rootPath);
        if (IsSafeRelativePath(root)) {
            const std::wstring data = CombinePath(savePath, root);
            if (DirectoryExists(data))
                DeleteTree(data);
            else
                DeleteFileNormal(data);
        }
    }
    if (ForgetsRecord(mode)) {
        DeleteFileNormal(ToWideString(path));
        const std::wstring copy = ToWideString(record.torrentFile);
        if (IsTorrentCopyName(GetFileName(copy))) DeleteFileNormal(copy);
    }
}

namespace {

int WriteAtStart(const std::string& path, const char* data, size_t size)
{
    VLFile file;
    if (path.empty() ||
        !file.Open(ToWideString(path), GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS,
                   FILE_ATTRIBUTE_NORMAL))
        return -1;
    if (size > MAXDWORD) return -3;
    DWORD written = 0;
    if (size != 0 && !file.Write(data, static_cast<DWORD>(size), &written)) return -3;
    return 0;
}

} // namespace

int save_file(const std::string& path, const std::vector<char>& bytes)
{
    return WriteAtStart(path, bytes.data(), bytes.size());
}

int SaveTorrentData(const std::string& path, const std::string& bytes)
{
    return WriteAtStart(path, bytes.data(), bytes.size());
}

bool LoadFileBytes(const std::string& path, std::vector<char>& bytes)
{
    VLFile file;
    uint64_t size = 0;
    if (!file.Open(ToWideString(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL) ||
        !file.GetSize(size) || size > 0x7FFFFFFF)
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
