#include "app/HarrowDownloaderFactory.h"

#include "app/WorkFolder.h"
#include "download/DownloadSingleFile.h"

namespace Velora {
namespace {

// Lives for one row on the repair thread; destroying it stops the download's
// tasks before the next row starts, which cancel and close rely on.
class VLHarrowDownloader : public VLDownloadSingleFile, public IHarrowDownloader {
public:
    // Every package lands in the work folder.
    VLHarrowDownloader() { SetFolderCallback(&DefaultWorkFolderCallback); }
    bool Start(int32_t runtimeId) override { return VLDownloadSingleFile::Start(uint32_t(runtimeId)); }
    HANDLE GetFinishEvent() const override { return VLDownloadSingleFile::GetFinishEvent(); }
    bool IsSucceeded() const override { return VLDownloadSingleFile::IsSucceeded(); }
    std::wstring GetFilePath() const override { return VLDownloadSingleFile::GetFilePath(); }
    uint64_t GetTotalBytes() const override { return GetTotalSize(); }
    uint64_t GetDownloadedBytes() const override { return GetDownloaded(); }
    uint64_t GetSpeed() const override { return VLDownloadSingleFile::GetSpeed(); }
};

} // namespace

std::unique_ptr<IHarrowDownloader> VLHarrowDownloaderFactory::Create()
{
    return std::make_unique<VLHarrowDownloader>();
}

} // namespace Velora
