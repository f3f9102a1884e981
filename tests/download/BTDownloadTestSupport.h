// What the BitTorrent download tests share: the address service on port 80,
// a second server for the torrent and the web seed, the process's BitTorrent
// manager started on the test's folder, and the answers the service gives.
#pragma once

#include "download/BTManager.h"
#include "tests/download/BTTestSupport.h"
#include "tests/download/DownloadTestSupport.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/TestTorrent.h"

#include "base/Singleton.h"

#include <gtest/gtest.h>

#include <string>

namespace Velora::Test {

constexpr uint32_t kRuntime = 40020;
const char* const kQueryTarget = "/query_url.php?soft=2.0.0.2996&id=40020";
const char* const kTorrentTarget = "/t/pkg.torrent";
const char* const kPayloadTarget = "/f/pkg.exe";

struct TorrentAnswer {
    int type = 2;
    std::string md5;
    std::string size;
    std::string torrentUrl;
    std::string url;
    std::string fileName = "pkg.exe";
    bool invalidVersion = false;

    std::string Xml() const
    {
        return "<FILE><DownloadType>" + std::to_string(type) + "</DownloadType><DownloadUrl>" + url +
               "</DownloadUrl><Md5>" + md5 + "</Md5><FileSize>" + size + "</FileSize><FileName>" + fileName +
               "</FileName><InvalidVersion>" + (invalidVersion ? "1" : "0") + "</InvalidVersion><TorrentUrl>" +
               torrentUrl + "</TorrentUrl></FILE>";
    }
};

class BTDownloadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.Start(80)) << "the service port is taken";
        ASSERT_TRUE(files.Start());
        ASSERT_TRUE(Manager().Init(folder.Path(), 5, VLBTNetwork::LoopbackOnly));
        UsePayload(MakePayload(3 * 1024 * 1024 + 17, 61));
    }
    void TearDown() override { Manager().Shutdown(); }

    static VLBTManager& Manager() { return VLSingleton<VLBTManager>::GetInstance(); }

    // The package on the web seed and a torrent of it, with the answer that
    // describes the torrent (its size and MD5, not the package's).
    void UsePayload(const std::string& bytes)
    {
        payload = bytes;
        torrent = MakeTorrent("pkg.exe", payload, 65536);
        files.SetFile(kPayloadTarget, payload);
        files.SetFile(kTorrentTarget, torrent);
        answer.md5 = Md5Of(torrent);
        answer.size = std::to_string(torrent.size());
        answer.torrentUrl = files.Url(kTorrentTarget);
        answer.url = files.Url(kPayloadTarget);
        Serve();
    }
    void Serve() { service.SetFile(kQueryTarget, answer.Xml()); }

    VLTestHttpServer service;
    VLTestHttpServer files;
    TestFolder folder;
    std::string payload;
    std::string torrent;
    TorrentAnswer answer;
};

} // namespace Velora::Test
