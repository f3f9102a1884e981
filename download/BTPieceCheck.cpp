#include "download/BTPieceCheck.h"

#include "base/PlainFile.h"

#include <libtorrent/hasher.hpp>
#include <libtorrent/torrent_info.hpp>

#include <algorithm>
#include <vector>

namespace Velora {

namespace {

constexpr DWORD kReadChunk = 1024 * 1024;

bool Refuse(DWORD error)
{
    SetLastError(error);
    return false;
}

// One pass over the file: each piece is hashed as its bytes come, so the
// whole check costs a single read of the file.
bool PiecesMatch(VLFile& file, const lt::torrent_info& info)
{
    uint64_t size = 0;
    if (!file.GetSize(size)) return false;
    if (info.num_files() != 1 || size != uint64_t(info.total_size())) return Refuse(ERROR_FILE_INVALID);
    std::vector<char> buffer(kReadChunk);
    for (lt::piece_index_t piece(0); piece < info.end_piece(); ++piece) {
        lt::hasher hash;
        for (int left = info.piece_size(piece); left > 0;) {
            DWORD got = 0;
            const DWORD wanted = DWORD(std::min<int>(left, int(buffer.size())));
            if (!file.Read(buffer.data(), wanted, &got) || got == 0) return Refuse(ERROR_HANDLE_EOF);
            hash.update(buffer.data(), int(got));
            left -= int(got);
        }
        if (hash.final() != info.hash_for_piece(piece)) return Refuse(ERROR_FILE_INVALID);
    }
    return true;
}

} // namespace

VLHandle OpenCheckedPieces(const std::wstring& path, const unsigned char* torrent, size_t size)
{
    lt::error_code ec;
    const lt::torrent_info info(reinterpret_cast<const char*>(torrent), int(size), ec);
    VLPlainFile file;
    if (ec) {
        SetLastError(ERROR_INVALID_DATA);
        return VLHandle();
    }
    if (!file.Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING) || !PiecesMatch(file.file, info))
        return VLHandle();
    return std::move(file.file.handle);
}

} // namespace Velora
