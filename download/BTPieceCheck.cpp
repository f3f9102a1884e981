#include "download/BTPieceCheck.h"

#include "base/PlainFile.h"

#include <libtorrent/hasher.hpp>
#include <libtorrent/torrent_info.hpp>

#include <algorithm>
#include <vector>

namespace Velora {

namespace {

constexpr DWORD kReadChunk = 1024 * 1024;

// One pass over the file: each piece is hashed as its bytes come, so the
// whole check costs a single read of the file. A file too short leaves its
// missing pieces bad; one too long fails every piece past the end.
void CheckEachPiece(VLFile& file, const lt::torrent_info& info, VLPieceCheck& result)
{
    uint64_t size = 0;
    if (!file.GetSize(size)) {
        result.error = GetLastError();
        return;
    }
    std::vector<char> buffer(kReadChunk);
    bool readable = true;
    for (lt::piece_index_t piece(0); piece < info.end_piece(); ++piece) {
        lt::hasher hash;
        bool whole = readable;
        for (int left = info.piece_size(piece); whole && left > 0;) {
            DWORD got = 0;
            const DWORD wanted = DWORD(std::min<int>(left, int(buffer.size())));
            if (!file.Read(buffer.data(), wanted, &got) || got == 0) {
                readable = whole = false;
                break;
            }
            hash.update(buffer.data(), int(got));
            left -= int(got);
        }
        if (!whole || hash.final() != info.hash_for_piece(piece)) result.badPieces.push_back(int(piece));
    }
    if (size > uint64_t(info.total_size()) && result.badPieces.empty())
        result.badPieces.push_back(int(info.last_piece()));
}

} // namespace

VLPieceCheck CheckPieces(const std::wstring& path, const unsigned char* torrent, size_t size)
{
    VLPieceCheck result;
    lt::error_code ec;
    const lt::torrent_info info(reinterpret_cast<const char*>(torrent), int(size), ec);
    if (ec || info.num_files() != 1) {
        result.error = ERROR_INVALID_DATA;
        return result;
    }
    VLPlainFile file;
    if (!file.Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING)) {
        result.error = GetLastError();
        return result;
    }
    CheckEachPiece(file.file, info, result);
    if (result.error == ERROR_SUCCESS && result.badPieces.empty()) result.file = std::move(file.file.handle);
    return result;
}

} // namespace Velora
