// Holder of one temporary file: the file goes away with the holder. Its
// folder is one every program of the user can write, and the program the
// file is made for (a setup program answering in it) may rewrite it in place
// or put a new file in its place. So nothing holds the file once it is
// written: whatever has its name later is read and deleted only when it is a
// plain file of its own in that folder (base/PlainFile.h), never what a link
// at the name leads to.
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
    // The bytes under the file's name now, whether the file made here or one
    // put in its place.
    bool Read(std::string& bytes) const;

    bool IsOwned() const { return owned_; }
    const std::wstring& GetPath() const { return path_; }

private:
    // A file that cannot be deleted stays owned, to be tried again.
    void Delete();
    // Makes the file with its bytes where no name is taken.
    static bool Make(const std::wstring& path, const std::string& bytes);
    // What has the name now, opened as itself: a plain file with no other
    // name (a hard link shares its bytes and attributes with a file
    // elsewhere), neither a link nor a folder.
    bool OpenFound(VLPlainFile& found, DWORD access) const;

    bool owned_ = false;
    std::wstring path_;
};

} // namespace Velora
