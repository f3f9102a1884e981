// The task record file: the engine's bencoded resume data plus "taskData",
// which holds what is needed to add the torrent again; and the small writers
// the session keeps its files with. Paths are narrow text in the system code
// page.
#pragma once

#include "download/BTTypes.h"

#include <libtorrent/bdecode.hpp>
#include <libtorrent/entry.hpp>
#include <libtorrent/fwd.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace Velora {

// The list of seeds kept beside the records in the work folder.
constexpr wchar_t kSeedListName[] = L"seeds.xml";

// A record is a few KB; the largest would be one of the largest package
// served (247,932,001 bytes). In the smallest pieces the engine takes
// (16 KiB) that is 15,133 pieces, and the engine's resume data keeps under
// 128 bytes a piece (a state and a priority byte, an unfinished-piece entry
// and, for a v2 torrent, its hash tree of two 32-byte hashes a block); 1 MiB
// more holds every path, address and peer. A larger file is no record of
// ours and is never read.
constexpr uint64_t kLargestPackageBytes = 247932001;
constexpr uint64_t kMaxRecordBytes = (kLargestPackageBytes / 16384 + 1) * 128 + 1048576;
// Entries of any one list a record may hold (web seeds, trackers, renamed
// files). A torrent may list any number of trackers and web seeds, but those
// stay in its copy, which gives them to the engine again at each add: a
// record lists only the rest, our two web seeds.
constexpr int kMaxRecordListEntries = 64;

// Sets "taskData" and keeps the engine's lists of trackers and web seeds to
// what neither "taskData" nor copy (the torrent copy, when known) holds.
// Every list keeps each entry once and at most kMaxRecordListEntries of
// them, so that the record written always loads.
void WriteTaskRecord(const BTTaskRecord& record, lt::entry& resumeData, const lt::torrent_info* copy = nullptr);
// Type-strict: false when "taskData" or one of its keys holds another kind of
// value. Missing keys keep their defaults; a node without a value reads as an
// empty dictionary.
bool ReadTaskRecord(BTTaskRecord& record, const lt::bdecode_node& resumeData);
// Valid only with savePath and rootPath. Bytes after the first bencoded value
// are ignored, as the writers never truncate. The record lies in a folder
// every user can write, so it is valid only when it names nothing but files
// of its own folder in the shape this program writes them: itself as resume
// file, the folder as save folder, a torrent copy directly in it, and data
// (rootPath, the engine's renamed files) below it that is none of the
// folder's records, torrent copies or seed list; and when no list in it is
// longer than kMaxRecordListEntries; and when none of those files is reached
// through a link (base/PlainFile.h), the record's own included. bytes, when
// given, receives the file.
bool LoadTaskRecord(const std::string& path, BTTaskRecord* record, std::vector<char>* bytes = nullptr);
// The downloaded data is savePath joined with rootPath. A record that is not
// valid deletes nothing.
void DeleteTaskFiles(const std::string& path, BTRemoveMode mode);
// The files of a record found valid, each deleted through its path as the
// record names it and never where a link swapped in since leads.
void DeleteRecordFiles(const BTTaskRecord& record, BTRemoveMode mode);

// Write the whole buffer at offset 0 of a plain file created when missing and
// never truncated: 0 written, -1 cannot open, -3 write failed or short.
int save_file(const std::string& path, const std::vector<char>& bytes);
// The same into a new plain file: -1 also when the name is taken.
int SaveTorrentData(const std::string& path, const std::string& bytes);
// False, without reading, for a file larger than limit or not plain.
bool LoadFileBytes(const std::string& path, std::vector<char>& bytes, uint64_t limit);

} // namespace Velora
