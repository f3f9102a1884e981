// The download-address service: where and how a runtime's package is fetched.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace Velora {

// One element of the answer's "FILE" element per field, named like the field.
struct DownloadFileInfo {
    int32_t DownloadType = 1; // 1 HTTP, 2 BitTorrent
    std::wstring DownloadUrl;
    std::wstring SpareUrl;
    std::wstring Md5;
    std::wstring FileSize; // decimal text, empty when unknown
    std::wstring FileName;
    bool UpdateType = true;
    bool InvalidVersion = false;
    std::wstring TorrentUrl;
};

// The service address with the fixed program version and the id as five digits.
std::wstring BuildQueryUrl(uint32_t runtimeId);
// False as well when cancelled is set while the service keeps it waiting.
bool QueryDownloadInfo(const std::wstring& url, DownloadFileInfo& out,
                       const std::atomic<bool>* cancelled = nullptr);
// Fields of elements that are missing keep their values in out.
bool ParseDownloadInfo(const unsigned char* bytes, uint32_t size, DownloadFileInfo& out);

// FileSize as a number: a leading '-' negates it, empty text gives 0.
int64_t ParseFileSize(const std::wstring& text);
// The answer's file name must name a plain file inside the task's folder: a
// bare name without separators, drive colons, "..", characters no file name
// holds, a trailing dot or blank, or a device name.
bool IsBareFileName(const std::wstring& name);

} // namespace Velora
