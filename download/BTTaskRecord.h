// The task record file: the engine's bencoded resume data plus "taskData",
// which holds what is needed to add the torrent again; and the small writers
// the session keeps its files with. Paths are narrow text in the system code
// page.
#pragma once

#include "download/BTTypes.h"

#include <libtorrent/bdecode.hpp>
#include <libtorrent/entry.hpp>

#include <string>
#include <vector>

namespace Velora {

void WriteTaskRecord(const BTTaskRecord& record, lt::entry& resumeData);
// Type-strict: false when "taskData" or one of its keys holds another kind of
// value. Missing keys keep their defaults; a node without a value reads as an
// empty dictionary.
bool ReadTaskRecord(BTTaskRecord& record, const lt::bdecode_node& resumeData);
// Valid only with savePath and rootPath. Bytes after the first bencoded value
// are ignored, as the writers never truncate.
bool LoadTaskRecord(const std::string& path, BTTaskRecord* record);
// The downloaded data is savePath joined with rootPath. Only what the record
// names in the shape this program writes is deleted, so a forged record
// cannot aim elsewhere.
void DeleteTaskFiles(const std::string& path, BTRemoveMode mode);

// Write the whole buffer at offset 0 of a file created when missing and never
// truncated: 0 written, -1 cannot open, -3 write failed or short.
int save_file(const std::string& path, const std::vector<char>& bytes);
int SaveTorrentData(const std::string& path, const std::string& bytes);
bool LoadFileBytes(const std::string& path, std::vector<char>& bytes);

} // namespace Velora
