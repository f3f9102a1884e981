// Turning a task description (new parameters or a saved record) into a
// torrent in the engine and a task handle.
#include "download/BTSession.h"

#include "download/BTSessionImpl.h"
#include "download/BTTaskRecord.h"
#include "download/BTText.h"
#include "download/HttpRequest.h"

#include "base/FileUtil.h"
#include "base/PathUtil.h"
#include "base/PlainFile.h"
#include "base/TextConvert.h"

#include <libtorrent/read_resume_data.hpp>
#include <libtorrent/torrent_flags.hpp>
#include <libtorrent/torrent_info.hpp>

#include <algorithm>
#include <set>

namespace Velora {

namespace {

// Far beyond what any torrent of the program transfers or runs for (a
// pebibyte, 34 years).
constexpr int64_t kMostCountedBytes = int64_t(1) << 50;
constexpr int kMostCountedSeconds = 1 << 30;

void SetError(std::string* error, const std::string& text)
{
    if (error) *error = text;
}

// Puts every file of the torrent under rootName in place of the torrent's own
// top-level name.
void RenameRoot(lt::torrent_info& info, const std::string& rootName)
{
    const lt::file_storage& files = info.files();
    for (lt::file_index_t i : files.file_range()) {
        const std::string path = files.file_path(i);
        const size_t separator = path.find_first_of("\\/");
        info.rename_file(i, separator == std::string::npos ? rootName : rootName + path.substr(separator));
    }
}

void ForgetPieces(lt::add_torrent_params& params)
{
    params.have_pieces.clear();
    params.verified_pieces.clear();
    params.unfinished_pieces.clear();
}

// Resume data of another torrent would make the engine refuse the add; the
// engine then checks the data on disk instead. Only a valid record's resume
// data is taken: the engine acts on the paths and lists in it. claimed
// receives how many pieces the record said were there.
//
// Of the record only what it says of the data (its pieces, the names of its
// files), of where to fetch it (web seeds, trackers, peers) and what the
// engine counted for the torrent is taken. The engine's settings it can
// carry as well (rate, connection and upload limits, priorities, flags,
// banned peers) are not: the record lies in a folder every user can write,
// and one of them could make a download crawl or never finish. The torrent
// gets the program's own, as a fresh add does.
lt::add_torrent_params LoadResumeData(const std::string& resumeFile, const lt::torrent_info& info, int& claimed)
{
    claimed = 0;
    std::vector<char> bytes;
    if (resumeFile.empty() || !LoadTaskRecord(resumeFile, nullptr, &bytes)) return {};
    lt::error_code ec;
    lt::add_torrent_params read = lt::read_resume_data(bytes, ec);
    if (ec || read.info_hashes.v1 != info.info_hashes().v1) return {};
    lt::add_torrent_params params;
    params.have_pieces = std::move(read.have_pieces);
    params.verified_pieces = std::move(read.verified_pieces);
    params.unfinished_pieces = std::move(read.unfinished_pieces);
    params.renamed_files = std::move(read.renamed_files);
    params.url_seeds = std::move(read.url_seeds);
    params.trackers = std::move(read.trackers);
    params.tracker_tiers = std::move(read.tracker_tiers);
    params.peers = std::move(read.peers);
    // The counts go on across starts: the seeding time lets the seeding
    // policy stop a seed that is only ever run for a few hours at a time, and
    // the average speed is the bytes fetched over the time spent fetching in
    // every start. Each is held within what a run could have counted, so
    // that a count planted near the engine's limits does not wrap to a
    // negative one as it grows.
    params.total_uploaded = std::clamp<int64_t>(read.total_uploaded, 0, kMostCountedBytes);
    params.total_downloaded = std::clamp<int64_t>(read.total_downloaded, 0, kMostCountedBytes);
    params.active_time = std::clamp(read.active_time, 0, kMostCountedSeconds);
    params.finished_time = std::clamp(read.finished_time, 0, kMostCountedSeconds);
    params.seeding_time = std::clamp(read.seeding_time, 0, kMostCountedSeconds);
    params.last_seen_complete = read.last_seen_complete;
    claimed = params.have_pieces.count();
    return params;
}

// The web seeds join the add itself. Added one by one after it, each would
// be one call queued to the engine's thread, where every add searches the
// torrent's whole list for a duplicate: a long list kept that thread busy
// for many minutes, and every later call on the torrent (and the shut-down
// waiting for them) with it.
void AddWebSeeds(lt::add_torrent_params& params, const lt::torrent_info& info, const std::vector<std::string>& urls)
{
    std::set<std::string> held(params.url_seeds.begin(), params.url_seeds.end());
    for (const lt::web_seed_entry& seed : info.web_seeds())
        if (seed.type == lt::web_seed_entry::url_seed) held.insert(seed.url);
    for (const std::string& url : urls)
        if (held.insert(url).second) params.url_seeds.push_back(url);
}

// The engine opens its data files by name and follows links. Each file the
// torrent writes is therefore made sure to be a plain file of its folder
// before the add (an empty one is made where none is): a link planted at its
// name, or on the way to it, even one that leads nowhere, refuses the add
// instead of leading the engine's writes out of the folder. Each stays held
// from that check, without delete sharing, so that nobody renames it away
// and puts a link in its place while the engine has the torrent; held for
// reading only, so that the finished file can be checked through a handle
// that lets nobody write. A seed's files are opened for reading only: such
// a check may hold them meanwhile. bytes receives what the files hold.
bool DataFilesArePlain(const lt::add_torrent_params& params, bool writes, std::string* error, BTHeldFiles& held,
                       uint64_t& bytes)
{
    bytes = 0;
    const lt::file_storage& files = params.ti->files();
    const std::wstring savePath = MultiByteToWideCP(params.save_path.c_str(), -1, CP_UTF8, nullptr);
    for (lt::file_index_t i : files.file_range()) {
        if (files.pad_file_at(i)) continue;
        const auto renamed = params.renamed_files.find(i);
        const std::string& name = renamed != params.renamed_files.end() ? renamed->second : files.file_path(i);
        const std::wstring path = CombinePath(savePath, MultiByteToWideCP(name.c_str(), -1, CP_UTF8, nullptr));
        // Made first where missing and checked again: the handle that makes
        // a file may delete it, which no handle denying deletes can sit beside.
        VLPlainFile data;
        const DWORD access = writes ? GENERIC_WRITE : GENERIC_READ;
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        uint64_t size = 0;
        if (!CreatePlainFolder(GetParentPath(path)) ||
            !data.Open(path, access, share | FILE_SHARE_DELETE, OPEN_ALWAYS) || !data.file.Close() ||
            !data.Open(path, access, share, OPEN_EXISTING) || !data.file.GetSize(size)) {
            SetError(error, SystemErrorText(GetLastError()));
            return false;
        }
        // A folder at the name opens too; the engine's writes then fail.
        // Wine reopens by the name the handle was opened with, so the reader
        // must be found on the file just checked.
        VLHandle reader(ReOpenFile(data.file.handle.Get(), GENERIC_READ, share, FILE_FLAG_BACKUP_SEMANTICS));
        VLFileId checked, opened;
        const bool identified =
            reader.Valid() && GetFileId(data.file.handle.Get(), checked) && GetFileId(reader.Get(), opened);
        if (!identified || checked != opened) {
            SetError(error, SystemErrorText(identified ? DWORD(ERROR_FILE_INVALID) : GetLastError()));
            return false;
        }
        held.push_back(std::move(reader));
        bytes += size;
    }
    return true;
}

} // namespace

bool CBTSession::TImpl::AddTorrent(const BTTaskParam& param, std::string* error, AddedTorrent& added)
{
    lt::error_code ec;
    if (param.sourceKind == 0) {
        // Read as itself: the copy lies in a folder every user can write.
        std::vector<char> copy;
        if (!LoadFileBytes(param.torrentFile, copy, kMaxAnswerBytes)) {
            SetError(error, SystemErrorText(GetLastError()));
            return false;
        }
        added.bytes.assign(copy.begin(), copy.end());
    } else if (param.sourceKind == 1)
        added.bytes = param.torrentData;
    else
        return false;
    auto info = std::make_shared<lt::torrent_info>(added.bytes.data(), static_cast<int>(added.bytes.size()), ec);
    if (ec) {
        SetError(error, Utf8ToAcp(ec.message()));
        return false;
    }
    if (!param.rootName.empty()) RenameRoot(*info, AcpToUtf8(param.rootName));

    lt::add_torrent_params params = LoadResumeData(param.resumeFile, *info, added.claimedPieces);
    AddWebSeeds(params, *info, param.urlSeeds);
    params.ti = info;
    params.save_path = AcpToUtf8(param.savePath);
    params.storage_mode = lt::storage_mode_sparse;
    // Assigned after reading the resume data, so that every torrent enters
    // paused and under the owner's control whatever the data says.
    params.flags = (lt::torrent_flags::default_flags & ~lt::torrent_flags::auto_managed) |
                   lt::torrent_flags::paused | lt::torrent_flags::duplicate_is_error;
    uint64_t present = 0;
    if (!DataFilesArePlain(params, !param.addAsSeed, error, added.dataFiles, present)) return false;
    // A record beside no data at all (a cleaned folder) claims nothing that
    // could be checked: the download starts over.
    if (present == 0) added.claimedPieces = 0;
    // A download's pieces are not taken from its record: the record and the
    // data lie in a folder every user can write, so the engine checks every
    // piece on disk before it counts one as there, and fetches the rest. A
    // seed whose record claims every piece over a file of the torrent's
    // length is not read at the start: it seeds in the engine's seed mode,
    // which checks each piece the first time a peer asks for it (never taking
    // a check of an earlier run for one of this run: the file may have
    // changed meanwhile) and, at the first that fails, stops serving and
    // checks the whole file. Any other seed's record says less than its data
    // may hold: the data is checked in full.
    if (param.addAsSeed && present == uint64_t(info->total_size()) && added.claimedPieces == info->num_pieces()) {
        params.flags |= lt::torrent_flags::seed_mode;
        params.verified_pieces.clear();
        params.unfinished_pieces.clear();
    } else {
        ForgetPieces(params);
    }
    added.handle = session->add_torrent(std::move(params), ec);
    if (ec) {
        // The handle of a refused add is invalid; the torrent already in the
        // engine is left as it is.
        SetError(error, Utf8ToAcp(ec.message()));
        return false;
    }
    return true;
}

std::shared_ptr<btTaskImpl> CBTSession::TImpl::CreateTask(ITaskCallback* callback, std::string* error,
                                                          const BTTaskRecord* source,
                                                          const BTTaskParam* param)
{
    BTTaskRecord record;
    BTTaskParam params;
    if (param) {
        params = *param;
        record.savePath = param->savePath;
        record.resumeFile = param->resumeFile;
        record.orgTorrentFile = param->torrentFile;
        record.addAsSeed = param->addAsSeed;
        record.urlSeed = param->urlSeeds;
    } else {
        record = *source;
        params.savePath = source->savePath;
        params.resumeFile = source->resumeFile;
        params.addAsSeed = source->addAsSeed;
        params.urlSeeds = source->urlSeed;
        params.sourceKind = 0;
        params.torrentFile = source->torrentFile;
    }

    AddedTorrent added;
    const lt::torrent_handle& torrent = added.handle;
    try {
        if (!AddTorrent(params, error, added)) return nullptr;
    } catch (const std::exception& e) {
        SetError(error, e.what());
        return nullptr;
    }
    auto removeAgain = [&] {
        try {
            session->remove_torrent(torrent);
        } catch (const std::exception&) {
        }
    };

    const std::wstring saveFolder = ToWideString(record.savePath);
    const std::wstring copy = CombinePath(
        saveFolder, ToWide(InfoHashHex(torrent.torrent_file()->info_hashes().get_best()).c_str()) +
                        std::wstring(L".torrent"));
    record.torrentFile = ToMultiByte(copy);

    if (!CreatePlainFolder(saveFolder)) {
        SetError(error, SystemErrorText(GetLastError()));
        removeAgain();
        return nullptr;
    }
    owner.OnSaveFolderChecked();
    // Written from the bytes the engine was given, never copied by name: the
    // folder may have been swapped for a link since its check.
    if (!FileExists(copy) && SaveTorrentData(record.torrentFile, added.bytes) != 0) {
        SetError(error, "save torrent failed");
        removeAgain();
        return nullptr;
    }
    return std::make_shared<btTaskImpl>(record, callback, torrent, std::move(added.dataFiles), added.claimedPieces);
}

std::shared_ptr<IBTTask> CBTSession::AddTask(const BTTaskParam* param, ITaskCallback* callback,
                                             std::string* error)
{
    std::shared_ptr<btTaskImpl> task = impl_->CreateTask(callback, error, nullptr, param);
    if (!task) return nullptr;
    // The record is written before the session's thread knows the task, so
    // that no save of its own overlaps this one.
    task->WriteResumeData();
    impl_->Append(task);
    return task;
}

std::shared_ptr<IBTTask> CBTSession::AddTaskFromRecord(const std::string& path, bool asSeed, ITaskCallback* callback,
                                                       std::string* error, const std::vector<std::string>& urlSeeds)
{
    BTTaskRecord record;
    if (!Velora::LoadTaskRecord(path, &record)) return nullptr;
    record.addAsSeed = asSeed;
    // The web seeds a record names may be gone (the service moved since it
    // was written): this run's join them, and the record keeps them.
    for (const std::string& url : urlSeeds)
        if (std::find(record.urlSeed.begin(), record.urlSeed.end(), url) == record.urlSeed.end())
            record.urlSeed.push_back(url);
    std::shared_ptr<btTaskImpl> task = impl_->CreateTask(callback, error, &record, nullptr);
    if (task) impl_->Append(task);
    return task;
}

} // namespace Velora
