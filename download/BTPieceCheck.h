// What a finished BitTorrent download is installed from: the one file of the
// torrent, read through a handle nobody else may write or delete it through,
// checked piece by piece against the hashes of the torrent bytes the task
// itself checked. The engine's own view of its pieces is not enough: it
// comes partly from a record in a folder every user can write, and the file
// can change after the engine is done with it.
#pragma once

#include "base/Handles.h"

#include <cstddef>
#include <string>

namespace Velora {

// The open file at path when it holds exactly the data of the torrent's
// single file (its length, and every piece as hashed), held without write or
// delete sharing; nothing otherwise, with the last error set.
VLHandle OpenCheckedPieces(const std::wstring& path, const unsigned char* torrent, size_t size);

} // namespace Velora
