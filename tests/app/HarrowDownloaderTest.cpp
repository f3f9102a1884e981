// The repair thread's downloader over the real download: the address service
// on port 80 of the loopback, the package on a second server, the file in the
// work folder under the temporary folder.
#include "app/HarrowDownloaderFactory.h"

#include "app/WorkFolder.h"
#include "base/Md5.h"
#include "base/TextConvert.h"
#include "tests/app/ScopedTempFolder.h"
#include "tests/support/TestFolder.h"
#include "tests/support/TestHttpServer.h"

#include <gtest/gtest.h>

namespace Velora {
namespace {

using namespace Velora::Test;

const char kQuery[] = "/query_url.php?soft=2.0.0.2996&id=40024";

std::string AddressAnswer(const std::string& url, const std::string& package)
{
    const std::string md5 = ToMultiByte(Md5BufferHex(package.data(), int32_t(package.size())));
    return "<FILE><DownloadType>1</DownloadType><DownloadUrl>" + url + "</DownloadUrl><Md5>" + md5 +
           "</Md5><FileSize>" + std::to_string(package.size()) + "</FileSize><FileName>openal.exe</FileName></FILE>";
}

TEST(HarrowDownloader, FetchesThePackageIntoTheWorkFolder)
{
    VLTestHttpServer service, files;
    ASSERT_TRUE(service.Start(80)) << "the service port is taken";
    ASSERT_TRUE(files.Start());
    const std::string package(300000, 'p');
    files.SetFile("/pkg/openal.exe", package);
    TestFolder temp;
    ScopedTempFolder scoped(temp.Path());

    struct Case {
        const char* what;
        bool answered;
        bool succeeds;
    };
    for (const Case& c : {Case{"answered", true, true}, Case{"no address", false, false}}) {
        SCOPED_TRACE(c.what);
        service.SetFile(kQuery, c.answered ? AddressAnswer(files.Url("/pkg/openal.exe"), package) : "");
        const std::unique_ptr<IHarrowDownloader> downloader = VLHarrowDownloaderFactory().Create();
        ASSERT_TRUE(downloader->Start(40024));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(downloader->GetFinishEvent(), 60000));
        EXPECT_EQ(c.succeeds, downloader->IsSucceeded());
        if (!c.succeeds) continue;
        EXPECT_EQ(GetWorkFolder() + L"\\openal.exe", downloader->GetFilePath());
        EXPECT_TRUE(package == ReadFileBytes(downloader->GetFilePath()));
        EXPECT_EQ(package.size(), downloader->GetTotalBytes());
        EXPECT_EQ(package.size(), downloader->GetDownloadedBytes());
    }
    EXPECT_FALSE(VLHarrowDownloaderFactory().Create()->Start(0)) << "no runtime";
}

} // namespace
} // namespace Velora
