// The repair thread's view of the download of one runtime package, and the
// factory that makes one per row. The program's factory downloads through
// the download manager; tests script their own.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace Velora {

class IHarrowDownloader {
public:
    virtual ~IHarrowDownloader() = default; // stops the download's tasks

    // Starts downloading the runtime's package; false when it could not be
    // started, in which case the finish event may never be signalled.
    virtual bool Start(int32_t runtimeId) = 0;
    // Manual-reset, signalled when the download has ended either way.
    virtual HANDLE GetFinishEvent() const = 0;
    // Once the finish event is signalled.
    virtual bool IsSucceeded() const = 0;
    virtual std::wstring GetFilePath() const = 0;
    // While it runs: bytes in all, bytes so far, bytes per second.
    virtual uint64_t GetTotalBytes() const = 0;
    virtual uint64_t GetDownloadedBytes() const = 0;
    virtual uint64_t GetSpeed() const = 0;
};

class IHarrowDownloaderFactory {
public:
    virtual ~IHarrowDownloaderFactory() = default;
    virtual std::unique_ptr<IHarrowDownloader> Create() = 0;
};

} // namespace Velora
