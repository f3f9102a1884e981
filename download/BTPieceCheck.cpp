#include "download/BTPieceCheck.h"

#include "base/PlainFile.h"

#include <libtorrent/hasher.hpp>
#include <libtorrent/torrent_info.hpp>

#include <algorithm>
#include <atomic>
#include <exception>
#include <new>
#include <thread>
#include <vector>

namespace Velora {

namespace {

constexpr DWORD kReadChunk = 1024 * 1024;
// Beyond this many the reads, not the hashing, set the pace.
constexpr unsigned kMostHashers = 16;

// What the hashers share: the file, the next piece to take, and what each
// found. Every piece is taken by one hasher, which alone writes its flag.
struct PieceCheckRun {
    const lt::torrent_info& info;
    HANDLE file;
    uint64_t fileSize;
    std::atomic<int> next{0};
    std::vector<char> bad;
    // The first read that failed; the others stop at their next piece.
    std::atomic<DWORD> error{ERROR_SUCCESS};

    void Fail(DWORD code)
    {
        DWORD none = ERROR_SUCCESS;
        error.compare_exchange_strong(none, code);
    }
};

// Each read names its offset, so the hashers share the handle without a
// file position to fight over.
bool ReadAt(HANDLE file, uint64_t offset, char* buffer, DWORD count)
{
    OVERLAPPED at = {};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(file, buffer, count, &got, &at)) return false;
    // The file cannot shrink while it is held without write sharing.
    if (got == count) return true;
    SetLastError(ERROR_HANDLE_EOF);
    return false;
}

// Takes pieces until none is left, reading each piece's bytes once. A piece
// that reaches past the end of the file is missing and is not read.
void HashPieces(PieceCheckRun& run)
{
    std::vector<char> buffer;
    try {
        buffer.resize(std::min<size_t>(kReadChunk, size_t(run.info.piece_length())));
    } catch (const std::bad_alloc&) {
        return run.Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    for (int piece = run.next++; piece < run.info.num_pieces(); piece = run.next++) {
        if (run.error != ERROR_SUCCESS) return;
        const lt::piece_index_t index(piece);
        const uint64_t start = uint64_t(piece) * uint64_t(run.info.piece_length());
        const int size = run.info.piece_size(index);
        if (start + uint64_t(size) > run.fileSize) {
            run.bad[size_t(piece)] = 1;
            continue;
        }
        lt::hasher hash;
        for (int done = 0; done < size;) {
            const DWORD count = DWORD(std::min<size_t>(size_t(size - done), buffer.size()));
            if (!ReadAt(run.file, start + uint64_t(done), buffer.data(), count)) return run.Fail(GetLastError());
            hash.update(buffer.data(), int(count));
            done += int(count);
        }
        run.bad[size_t(piece)] = hash.final() != run.info.hash_for_piece(index);
    }
}

// Hashes on as many threads as the machine has processors (the calling one
// among them), fewer when there are fewer pieces or no thread to spare.
void HashOnEveryProcessor(PieceCheckRun& run)
{
    const unsigned wanted = std::min<unsigned>(
        {std::max(1u, std::thread::hardware_concurrency()), kMostHashers, unsigned(run.info.num_pieces())});
    std::vector<std::thread> helpers;
    try {
        helpers.reserve(wanted);
        while (helpers.size() + 1 < wanted) helpers.emplace_back(HashPieces, std::ref(run));
    } catch (const std::exception&) {
        // The helpers that did start share the pieces with this thread.
    }
    HashPieces(run);
    for (std::thread& helper : helpers) helper.join();
}

void CheckEachPiece(VLFile& file, const lt::torrent_info& info, VLPieceCheck& result)
{
    uint64_t size = 0;
    if (!file.GetSize(size)) {
        result.error = GetLastError();
        return;
    }
    PieceCheckRun run{info, file.handle.Get(), size};
    run.bad.assign(size_t(info.num_pieces()), 0);
    HashOnEveryProcessor(run);
    result.error = run.error;
    if (result.error != ERROR_SUCCESS) return;
    for (int piece = 0; piece < info.num_pieces(); ++piece)
        if (run.bad[size_t(piece)]) result.badPieces.push_back(piece);
    // Bytes beyond the torrent's end fail its last piece.
    if (size > uint64_t(info.total_size()) && result.badPieces.empty())
        result.badPieces.push_back(info.num_pieces() - 1);
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

bool ReadSingleFile(const std::string& torrent, std::string& name, uint64_t& length)
{
    lt::error_code ec;
    const lt::torrent_info info(torrent.data(), int(torrent.size()), ec);
    if (ec || info.num_files() != 1) return false;
    name = info.files().file_path(lt::file_index_t(0));
    length = uint64_t(info.total_size());
    return true;
}

bool CutToLength(const std::wstring& path, uint64_t length)
{
    VLPlainFile plain;
    uint64_t size = 0;
    if (!plain.Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING))
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    if (!plain.file.GetSize(size)) return false;
    return size <= length ||
           (plain.file.Seek(int64_t(length), FILE_BEGIN, nullptr) && SetEndOfFile(plain.file.handle.Get()));
}

} // namespace Velora
