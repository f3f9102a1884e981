#include "install/FilePins.h"

#include "base/Handles.h"

#include <aclapi.h>
#include <sddl.h>
#include <winternl.h>

#include <algorithm>

namespace Velora {

namespace {

// Owned by the administrators, full control for them and the system alone,
// and the same for what is made in it.
constexpr wchar_t kOnlyAdministrators[] = L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

// The native API's FILE_LINK_INFORMATION: a new name for the handle's file,
// relative to a folder's handle.
struct LinkInformation {
    BOOLEAN replaceIfExists;
    HANDLE rootDirectory;
    ULONG fileNameLength;
    WCHAR fileName[1];
};
constexpr int kFileLinkInformation = 11;

// The administrators, the system, or the owner this process gives what it
// makes: the administrators where it runs elevated, its user under Wine.
bool IsAdministrators(PSID owner)
{
    for (WELL_KNOWN_SID_TYPE type : {WinBuiltinAdministratorsSid, WinLocalSystemSid}) {
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof(sid);
        if (CreateWellKnownSid(type, nullptr, sid, &size) && EqualSid(owner, sid)) return true;
    }
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    const VLHandle token(raw);
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (GetTokenInformation(token.Get(), TokenOwner, buffer, sizeof(buffer), &size) &&
        EqualSid(owner, reinterpret_cast<TOKEN_OWNER*>(buffer)->Owner))
        return true;
    return GetTokenInformation(token.Get(), TokenUser, buffer, sizeof(buffer), &size) &&
           EqualSid(owner, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
}

} // namespace

VLFilePins::Folder& VLFilePins::FolderOn(const std::wstring& volume)
{
    for (Folder& folder : folders_)
        if (IsSamePathName(folder.volume, volume)) return folder;
    Folder& folder = folders_.emplace_back();
    folder.volume = volume;
    const std::wstring path = volume + kFolderName;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(kOnlyAdministrators, SDDL_REVISION_1, &descriptor, nullptr);
    const VLLocalMemory descriptorMemory(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    const bool made = CreateDirectoryW(path.c_str(), &attributes);
    // Shared neither for moving nor for removing while held; opened as a
    // plain file is, so that a link in its place is refused.
    VLPlainFile plainFolder;
    if (!plainFolder.Open(path,
                          FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_TRAVERSE | FILE_READ_ATTRIBUTES |
                              FILE_WRITE_ATTRIBUTES | READ_CONTROL | DELETE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING))
        return folder;
    folder.held = std::move(plainFolder.file);
    BY_HANDLE_FILE_INFORMATION information;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR ownerDescriptor = nullptr;
    const bool plain = GetFileInformationByHandle(folder.held.handle.Get(), &information) &&
                       (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    const bool owned = GetSecurityInfo(folder.held.handle.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                       nullptr, nullptr, nullptr, &ownerDescriptor) == ERROR_SUCCESS;
    const VLLocalMemory ownerMemory(ownerDescriptor);
    if (!plain || !owned || !IsAdministrators(owner)) {
        folder.held.handle.Reset();
        return folder;
    }
    // Left by an install that was killed: its pins keep nothing of ours.
    if (!made) Empty(folder);
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    SetFileInformationByHandle(folder.held.handle.Get(), FileBasicInfo, &basic, sizeof(basic));
    return folder;
}

std::wstring VLFilePins::Pin(const std::wstring& path, HANDLE file)
{
    wchar_t volume[MAX_PATH + 1];
    if (!GetVolumePathNameW(path.c_str(), volume, MAX_PATH + 1)) return std::wstring();
    Folder& folder = FolderOn(volume);
    if (!folder.held.handle.Valid()) return std::wstring();
    const std::wstring name = std::to_wstring(folder.next++);
    std::vector<BYTE> buffer(sizeof(LinkInformation) + name.size() * sizeof(wchar_t));
    auto* link = reinterpret_cast<LinkInformation*>(buffer.data());
    link->replaceIfExists = FALSE;
    link->rootDirectory = folder.held.handle.Get();
    link->fileNameLength = ULONG(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), link->fileName);
    // The native call, looked up as the system's own library holds it: the
    // program imports from the documented libraries alone.
    using SetInformation = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
    const auto setInformation = reinterpret_cast<SetInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll"), "NtSetInformationFile")));
    IO_STATUS_BLOCK status;
    if (!setInformation ||
        setInformation(file, &status, link, ULONG(buffer.size()), FILE_INFORMATION_CLASS(kFileLinkInformation)))
        return std::wstring();
    return folder.volume + kFolderName + L"\\" + name;
}

bool VLFilePins::Look(const std::wstring& pin, const VLFileId& id, BY_HANDLE_FILE_INFORMATION& now)
{
    VLFile file;
    VLFileId found;
    return file.Open(pin, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT) &&
           GetFileId(file.handle.Get(), found) && found == id && GetFileInformationByHandle(file.handle.Get(), &now);
}

void VLFilePins::Empty(const Folder& folder)
{
    // Listed through the held handle: a listing by the folder's name would
    // share less than the handle holds.
    const std::wstring path = folder.volume + kFolderName + L"\\";
    std::vector<std::wstring> names;
    alignas(FILE_ID_BOTH_DIR_INFO) BYTE buffer[16384];
    for (FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
         GetFileInformationByHandleEx(folder.held.handle.Get(), kind, buffer, sizeof(buffer));
         kind = FileIdBothDirectoryInfo)
        for (size_t offset = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + offset);
            const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") names.push_back(name);
            if (!entry->NextEntryOffset) break;
            offset += entry->NextEntryOffset;
        }
    // The folder, held, is the one listed; deleting an entry by its name
    // takes the name itself, a link's too, never what a link leads to. A
    // read-only file's pin goes as a plain file does, its attribute put
    // back for the file's other names.
    for (const std::wstring& name : names) {
        VLPlainFile pin;
        if (!DeleteFileW((path + name).c_str()) &&
            pin.Open(path + name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING))
            pin.Delete();
    }
}

void VLFilePins::Clear()
{
    for (const Folder& folder : folders_) {
        if (!folder.held.handle.Valid()) continue;
        Empty(folder);
        FILE_DISPOSITION_INFO disposition = {TRUE};
        SetFileInformationByHandle(folder.held.handle.Get(), FileDispositionInfo, &disposition, sizeof(disposition));
    }
    folders_.clear();
}

} // namespace Velora
