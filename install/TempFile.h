// Holder of one temporary file: the file goes away with the holder. Its
// folder is one every program of the user can write, so the file is made,
// read and deleted as the very file that was made (base/PlainFile.h), never
// looked up again by its name alone.
#pragma once

#include "base/PlainFile.h"

#include <string>

namespace Velora {

class VLTempFile {
public:
    VLTempFile() = default;
    ~VLTempFile() { Delete(); }
    VLTempFile(const VLTempFile&) = delete;
    VLTempFile& operator=(const VLTempFile&) = delete;

    // The exchange file of a setup program, holding text.
    bool CreateSetupIni(const std::string& text, std::wstring& path) { return Create(L"VL~", text, path); }
    // A new, uniquely named file holding bytes, in the temporary folder, or
    // in the Windows folder when none can be made there. Named as
    // GetTempFileNameW names one: the prefix, hexadecimal digits, ".tmp".
    bool Create(const std::wstring& prefix, const std::string& bytes, std::wstring& path);
    bool CreateIn(const std::wstring& folder, const std::wstring& prefix, const std::string& bytes,
                  std::wstring& path);
    // The file's bytes as they are now, read through the held handle.
    bool Read(std::string& bytes);

    bool IsOwned() const { return owned_; }
    const std::wstring& GetPath() const { return path_; }

private:
    // A file that cannot be deleted stays owned, to be tried again.
    void Delete();
    bool Make(const std::wstring& path, const std::string& bytes);

    bool owned_ = false;
    std::wstring path_;
    // Held for reading, sharing reading and writing but not deleting: another
    // program may read and write the file by its name (a setup program uses
    // the system's profile functions), but nobody can move or delete it, so
    // the name stays this file's. It holds no right to write or delete, which
    // those functions' own opens would not share.
    VLPlainFile held_;
    // To know the file again when it is reopened for deleting.
    VLFileId id_;
};

} // namespace Velora
