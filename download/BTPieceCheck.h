// What a finished BitTorrent download is installed from: the one file of the
// torrent, read through a handle nobody else may write or delete it through,
// checked piece by piece against the hashes of the torrent bytes the task
// itself checked. The engine's own view of its pieces is not enough: it
// comes partly from a record in a folder every user can write, and the file
// can change after the engine is done with it.
#pragma once

#include "base/Handles.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Velora {

struct VLPieceCheck {
    // The open file, held without write or delete sharing, when it holds
    // exactly the data of the torrent's single file (its length, and every
    // piece as hashed).
    VLHandle file;
    // The pieces whose bytes do not match or are missing from the file;
    // empty when the file could not be read at all.
    std::vector<int> badPieces;
    // Why the file was not checked whole: ERROR_SUCCESS when every piece was
    // read (matching or not); ERROR_SHARING_VIOLATION while another program
    // has it open for writing; the system's error otherwise.
    DWORD error = ERROR_SUCCESS;

    bool Passed() const { return file.Valid(); }
};

// Reads the file at path once and checks every piece of the torrent against
// it, hashing pieces on as many threads as the machine has processors. Takes
// about one read of the file: the caller runs it where nothing else waits.
VLPieceCheck CheckPieces(const std::wstring& path, const unsigned char* torrent, size_t size);

// The name (UTF-8) and length of the torrent's one file; false for bytes that
// are no torrent, or a torrent of more than one file, which nothing installs.
bool ReadSingleFile(const std::string& torrent, std::string& name, uint64_t& length);
// Cuts what lies past length off the work folder's file at path, through the
// handle that checked it. A file that is missing or no longer is left alone.
bool CutToLength(const std::wstring& path, uint64_t length);

} // namespace Velora
