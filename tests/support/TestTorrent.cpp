#include "tests/support/TestTorrent.h"

#include "base/File.h"
#include "base/FileUtil.h"
#include "base/TextConvert.h"

#include <libtorrent/bdecode.hpp>
#include <libtorrent/bencode.hpp>
#include <libtorrent/create_torrent.hpp>
#include <libtorrent/hasher.hpp>

#include <windows.h>

#include <atomic>
#include <iterator>
#include <stdexcept>

namespace VeloraTest {

std::string MakePayload(size_t size, uint32_t seed)
{
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::string MakeTorrent(const std::string& name, const std::string& payload, int pieceSize,
                        const std::vector<std::string>& urlSeeds)
{
    lt::file_storage files;
    files.add_file(name, static_cast<std::int64_t>(payload.size()));
    lt::create_torrent torrent(files, pieceSize, lt::create_torrent::v1_only);
    for (lt::piece_index_t piece : files.piece_range()) {
        const size_t offset = static_cast<size_t>(static_cast<int>(piece)) * pieceSize;
        const size_t length = std::min<size_t>(pieceSize, payload.size() - offset);
        torrent.set_hash(piece, lt::hasher(payload.data() + offset, static_cast<int>(length)).final());
    }
    for (const std::string& url : urlSeeds) torrent.add_url_seed(url);
    std::string bytes;
    lt::bencode(std::back_inserter(bytes), torrent.generate());
    return bytes;
}

lt::sha1_hash InfoHashOf(const std::string& torrent)
{
    lt::error_code ec;
    lt::bdecode_node root = lt::bdecode(torrent, ec);
    if (ec) throw std::runtime_error("not a torrent");
    const auto section = root.dict_find_dict("info").data_section();
    return lt::hasher(section.data(), static_cast<int>(section.size())).final();
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    Velora::VLFile file;
    DWORD written = 0;
    return file.Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL) &&
           (bytes.empty() || file.Write(bytes.data(), static_cast<DWORD>(bytes.size()), &written));
}

std::string ReadFileBytes(const std::wstring& path)
{
    Velora::VLFile file;
    uint64_t size = 0;
    if (!file.Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL) ||
        !file.GetSize(size))
        return {};
    std::string bytes(static_cast<size_t>(size), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!file.Read(&bytes[done], static_cast<DWORD>(bytes.size() - done), &got) || got == 0)
            return {};
        done += got;
    }
    return bytes;
}

ScratchFolder::ScratchFolder()
{
    static std::atomic<unsigned> counter{0};
    std::wstring temp;
    Velora::GetTempDir(temp);
    path_ = temp + L"VLTest-bt-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
    Velora::CreateDirectories(path_);
}

ScratchFolder::~ScratchFolder()
{
    Velora::DeleteTree(path_);
}

std::string ScratchFolder::Narrow(const std::wstring& name) const
{
    return Velora::ToMultiByte(name.empty() ? path_ : Child(name));
}

} // namespace VeloraTest
