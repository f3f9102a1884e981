#include "base/FolderChanges.h"

namespace Velora {

namespace {

// About 1,600 changes of short names between two reads, the most a read may
// take; the system keeps as much again for the next read. A tree's names are
// longer than a folder's.
constexpr size_t kBufferBytes = 64 * 1024;

} // namespace

void VLFolderChanges::Start()
{
    if (handle_.handle.Valid()) return;
    if (!event_.Valid()) event_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    buffer_.resize(kBufferBytes / sizeof(DWORD));
    // Sharing everything: the folder stays the programs' to change.
    if (!event_.Valid() ||
        !handle_.Open(folder_, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED) ||
        !Read())
        Lose();
}

bool VLFolderChanges::Read()
{
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = event_.Get();
    return ReadDirectoryChangesW(handle_.handle.Get(), buffer_.data(), DWORD(kBufferBytes), TRUE,
                                 FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME, nullptr, &overlapped_,
                                 nullptr) != FALSE;
}

void VLFolderChanges::Reach(const std::wstring& below)
{
    VLFile folder;
    // A drive's root is named with its separator ("C:\").
    const std::wstring path = folder_.back() == L'\\' ? folder_ + below : folder_ + L'\\' + below;
    if (!folder.Open(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT))
        complete_ = false;
}

void VLFolderChanges::Collect()
{
    while (handle_.handle.Valid()) {
        DWORD bytes = 0;
        if (!GetOverlappedResult(handle_.handle.Get(), &overlapped_, &bytes, FALSE)) {
            if (GetLastError() != ERROR_IO_INCOMPLETE) Lose();
            return;
        }
        // No bytes: more changes came than the system kept.
        if (bytes == 0) return Lose();
        Take(bytes);
        if (!Read()) return Lose();
    }
}

void VLFolderChanges::Stop()
{
    Collect();
    End(true);
}

void VLFolderChanges::Take(DWORD bytes)
{
    const char* records = reinterpret_cast<const char*>(buffer_.data());
    for (DWORD offset = 0; offset < bytes;) {
        const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(records + offset);
        changes_.push_back({record->Action, std::wstring(record->FileName, record->FileNameLength / sizeof(wchar_t))});
        if (!record->NextEntryOffset) break;
        offset += record->NextEntryOffset;
    }
}

void VLFolderChanges::Lose()
{
    complete_ = false;
    End(false);
}

void VLFolderChanges::End(bool take)
{
    if (!handle_.handle.Valid()) return;
    // The buffer stays in use until the read under way has ended; one that
    // ended before it could be cancelled is taken in as any other.
    CancelIo(handle_.handle.Get());
    DWORD bytes = 0;
    if (GetOverlappedResult(handle_.handle.Get(), &overlapped_, &bytes, TRUE) && take) {
        if (bytes)
            Take(bytes);
        else
            complete_ = false;
    }
    handle_.Close();
}

} // namespace Velora
