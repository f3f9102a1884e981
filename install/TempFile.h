// Holder of one temporary file: the file goes away with the holder.
#pragma once

#include <string>

namespace Velora {

class VLTempFile {
public:
    VLTempFile() = default;
    ~VLTempFile() { Delete(); }
    VLTempFile(const VLTempFile&) = delete;
    VLTempFile& operator=(const VLTempFile&) = delete;

    // The exchange file of a setup program.
    bool CreateSetupIni(std::wstring& path) { return Create(L"VL~", path); }
    // An empty, uniquely named file in the temporary folder, or in the
    // Windows folder when none can be made there.
    bool Create(const std::wstring& prefix, std::wstring& path);
    bool CreateIn(const std::wstring& folder, const std::wstring& prefix, std::wstring& path);

    bool IsOwned() const { return owned_; }
    const std::wstring& GetPath() const { return path_; }

private:
    // A file that cannot be deleted stays owned, to be tried again.
    void Delete();

    bool owned_ = false;
    std::wstring path_;
};

} // namespace Velora
