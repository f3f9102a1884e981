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
    VLHarrowDownloader() { folderCallback = &DefaultWorkFolderCallback; }
    bool Start(int32_t runtimeId) override { return VLDownloadSingleFile::Start(uint32_t(runtimeId)); }
    HANDLE GetFinishEvent() const override { return finishEvent.Get(); }
    bool IsSucceeded() const override { return succeeded; }
    // The task sets it before it reports the finish that the reader waited for.
    std::wstring GetFilePath() const override { return filePath; }
    uint64_t GetTotalBytes() const override { return totalSize; }
    uint64_t GetDownloadedBytes() const override { return downloaded; }
    uint64_t GetSpeed() const override { return speed; }
};

} // namespace

std::unique_ptr<IHarrowDownloader> VLHarrowDownloaderFactory::Create()
{
    return std::make_unique<VLHarrowDownloader>();
}

} // namespace Velora
