#include "download/AddressQuery.h"

#include "download/HttpRequest.h"
#include "download/XmlDocument.h"
#include "tests/download/DownloadTestSupport.h"
#include "tests/support/TestFolder.h"
#include "tests/support/TestHttpServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace Velora {
namespace {

using Test::TestFolder;

TEST(BuildQueryUrl, FixedVersionAndFiveDigitId)
{
    const std::wstring base = std::wstring(L"http://") + VL_SERVICE_HOST + L"/query_url.php?soft=2.0.0.2996&id=";
    EXPECT_EQ(base + L"00007", BuildQueryUrl(7));
    EXPECT_EQ(base + L"40020", BuildQueryUrl(40020));
}

bool Parse(const std::string& xml, DownloadFileInfo& info)
{
    return ParseDownloadInfo(reinterpret_cast<const unsigned char*>(xml.data()), uint32_t(xml.size()), info);
}

TEST(ParseDownloadInfo, ExactNamesLastWinsOnlyOneIsTrue)
{
    DownloadFileInfo info;
    ASSERT_TRUE(Parse("<FILE><DownloadType>2</DownloadType><DownloadUrl>http://a/1</DownloadUrl>"
                      "<SpareUrl>http://b/1</SpareUrl><Md5>abc</Md5><FileSize>12</FileSize>"
                      "<FileName>x.exe</FileName><TorrentUrl>http://t</TorrentUrl><UpdateType>0</UpdateType>"
                      "<InvalidVersion>1</InvalidVersion><downloadurl>http://wrong/</downloadurl>"
                      "<DownloadUrl>http://a/2</DownloadUrl><Unknown>z</Unknown><Md5/></FILE>",
                      info));
    EXPECT_EQ(2, info.DownloadType);
    EXPECT_EQ(L"http://a/2", info.DownloadUrl);
    EXPECT_EQ(L"http://b/1", info.SpareUrl);
    EXPECT_EQ(L"abc", info.Md5);
    EXPECT_EQ(L"12", info.FileSize);
    EXPECT_EQ(L"x.exe", info.FileName);
    EXPECT_EQ(L"http://t", info.TorrentUrl);
    EXPECT_FALSE(info.UpdateType);
    EXPECT_TRUE(info.InvalidVersion);

    struct Case {
        const char* xml;
        bool ok;
        bool updateType;
        bool invalidVersion;
    } cases[] = {
        {"<FILE><DownloadUrl>http://a/</DownloadUrl></FILE>", true, true, false},
        {"<FILE><DownloadUrl>http://a/</DownloadUrl><UpdateType>true</UpdateType><InvalidVersion>01</InvalidVersion></FILE>", true, false, false},
        {"<FILE><SpareUrl>http://a/</SpareUrl></FILE>", false, true, false},
        {"<FILE><DownloadUrl></DownloadUrl></FILE>", false, true, false},
        {"<ANSWER><DownloadUrl>http://a/</DownloadUrl></ANSWER>", false, true, false},
        {"<FILE><DownloadUrl>http://a/</DownloadUrl>", false, true, false},
        {"", false, true, false},
    };
    for (const auto& c : cases) {
        DownloadFileInfo fresh;
        EXPECT_EQ(c.ok, Parse(c.xml, fresh)) << c.xml;
        EXPECT_EQ(c.updateType, fresh.UpdateType) << c.xml;
        EXPECT_EQ(c.invalidVersion, fresh.InvalidVersion) << c.xml;
    }
}

std::string Nest(size_t depth, const std::string& open, const std::string& inner, const std::string& close)
{
    std::string text;
    for (size_t i = 0; i < depth; ++i) text += open;
    text += inner;
    for (size_t i = 0; i < depth; ++i) text += close;
    return text;
}

TEST(ParseDownloadInfo, AnswersNestedTooDeepAreRefusedBeforeParsing)
{
    const std::string url = "<DownloadUrl>http://a/</DownloadUrl>";
    const std::string file = "<FILE>" + url + "</FILE>";
    const auto attributes = [](int n) {
        std::string text;
        for (int i = 0; i < n; ++i) text += " a" + std::to_string(i) + "=''";
        return text;
    };
    const std::pair<std::string, bool> cases[] = {
        {"<?xml version=\"1.0\" encoding=\"gb2312\"?>\n<!DOCTYPE x><!-- <a><a> --><FILE><Md5/><A x='>'/>"
         "<![CDATA[<a><a>]]>" + url + Nest(30, "<a>", "", "</a>") + "</FILE>", true},
        {"<FILE>" + url + Nest(40, "<a>", "", "</a>") + "</FILE>", false},
        {Nest(14000, "<a>", file, "</a>"), false},
        // End tags the parser does not see as such must not lower the count.
        {Nest(14000, "<a><!--</a>-->", file, "</a>"), false},
        {Nest(14000, "<a><![CDATA[</a>]]>", file, "</a>"), false},
        {Nest(14000, "<a x=\"</a>\">", file, "</a>"), false},
        {Nest(14000, "<a x='/>'>", file, "</a>"), false},
        {Nest(2, "<a>", "<?xml version=\"1.0\"?>" + file, "</a>"), false},
        {"<?xml a\"b version=\"c> <x y=\" e?>" + Nest(14000, "<a>", file, "</a>") + "\"/>", false},
        // In UTF-8 (a byte-order mark, or a declaration naming it or no
        // encoding) a lead byte swallows the bytes after it; so does a
        // character reference up to its ';'.
        {"\xEF\xBB\xBF" + Nest(16000, "<a>\xF0</a>", file, "</a>"), false},
        {"<?xml version='1.0'?>" + Nest(16000, "<a>\xE4</a>", file, "</a>"), false},
        {"<?xml version='1.0' encoding='gbk'?><FILE>" + url + Nest(40, "<a>\xF0</a>", "", "") + "</FILE>", true},
        {Nest(16000, "<a>&#</a>#1;", file, "</a>"), false},
        {Nest(16000, "<a>&#x</a>x1;", file, "</a>"), false},
        {"<FILE>" + url + "<a" + attributes(32) + "/></FILE>", true},
        {"<FILE>" + url + "<a" + attributes(33) + "/></FILE>", false},
    };
    for (const auto& c : cases) {
        DownloadFileInfo info;
        EXPECT_EQ(c.second, Parse(c.first, info)) << c.first.substr(0, 120);
    }
}

TEST(ParseFileSize, SignAndEmpty)
{
    EXPECT_EQ(0, ParseFileSize(L""));
    EXPECT_EQ(3000001, ParseFileSize(L"3000001"));
    EXPECT_EQ(-5, ParseFileSize(L"-5"));
}

TEST(IsBareFileName, OnlyNamesInsideTheFolder)
{
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"pkg.exe", true}, {L"vcredist_x86 2008.exe", true}, {L"", false}, {L"..\\x.exe", false},
        {L"a/b.exe", false}, {L"C:x.exe", false}, {L"C:\\Windows\\x.exe", false},
        {L"\\\\srv\\share\\x", false}, {L"..", false}, {L"x\x01.exe", false}, {L".", false},
        {L"pkg.exe.", false}, {L"pkg ", false}, {L"a*.exe", false}, {L"nul.exe", false}, {L"COM1", false},
        {L"com10.exe", true}, {L".hidden", true},
    };
    for (const auto& c : cases) EXPECT_EQ(c.second, IsBareFileName(c.first)) << c.first;
    EXPECT_FALSE(IsBareFileName(std::wstring(MAX_PATH, L'a')));
}

class HttpGetTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Start()); }
    bool Get(const std::string& target, std::string& body)
    {
        VLBuffer<unsigned char> buffer;
        uint32_t size = 0;
        if (!HttpGetToBuffer(ToWide(server.Url(target).c_str()), buffer, size)) return false;
        EXPECT_EQ(0, buffer.data[size]);
        body.assign(reinterpret_cast<const char*>(buffer.data), size);
        return true;
    }
    VLTestHttpServer server;
};

TEST_F(HttpGetTest, KnownLengthWholeBody)
{
    const std::string bytes = RandomBytes(100000, 1);
    server.SetFile("/q?id=1", bytes);
    std::string body;
    ASSERT_TRUE(Get("/q?id=1", body));
    EXPECT_EQ(bytes, body);
}

TEST_F(HttpGetTest, StatusOtherThan200Fails)
{
    std::string body;
    EXPECT_FALSE(Get("/missing", body));
}

TEST_F(HttpGetTest, UnknownLengthReadToTheEndAndCappedAt10MiB)
{
    VLServerFaults faults;
    faults.omitLength = true;
    server.SetFaults(faults);
    const std::string three = RandomBytes(3000000, 2);
    server.SetFile("/three", three);
    std::string body;
    ASSERT_TRUE(Get("/three", body));
    EXPECT_EQ(three, body);

    server.SetFile("/eleven", RandomBytes(11 * 1048576, 3));
    ASSERT_TRUE(Get("/eleven", body));
    EXPECT_EQ(kMaxAnswerBytes, body.size());
}

TEST_F(HttpGetTest, AnnouncedLengthBeyondTheCapIsRefused)
{
    VLServerFaults faults;
    faults.lengthDelta = int64_t(0xFFFFFFFFu) - 10;
    server.SetFaults(faults);
    server.SetFile("/huge", "0123456789");
    std::string body;
    EXPECT_FALSE(Get("/huge", body));
}

TEST_F(HttpGetTest, QueryDownloadInfoAndRequestUrl)
{
    server.SetFile("/query_url.php?id=1", AnswerXml("http://h/pkg.exe", "", "", 5, "pkg.exe"));
    DownloadFileInfo info;
    ASSERT_TRUE(QueryDownloadInfo(ToWide(server.Url("/query_url.php?id=1").c_str()), info));
    EXPECT_EQ(L"http://h/pkg.exe", info.DownloadUrl);
    EXPECT_FALSE(QueryDownloadInfo(ToWide(server.Url("/query_url.php?id=2").c_str()), info));

    EXPECT_TRUE(RequestUrl(server.Url("/report?type=1")));
    EXPECT_EQ(1, server.CountRequests("/report?type=1"));
    server.Stop();
    EXPECT_FALSE(RequestUrl("http://127.0.0.1:1/report"));
}

TEST_F(HttpGetTest, StallingOrLoopingServiceEndsWithinTheBounds)
{
    server.SetFile("/q", AnswerXml("http://h/pkg.exe", "", "", 5, "pkg.exe"));
    server.SetFile("/deep", Nest(14000, "<a>", "<FILE><DownloadUrl>http://h/</DownloadUrl></FILE>", "</a>"));
    server.SetRedirect("/loop", "/loop");
    server.SetRedirect("/moved", "/q");
    DownloadFileInfo info;
    ASSERT_TRUE(QueryDownloadInfo(ToWide(server.Url("/moved").c_str()), info));

    auto cases = StallingFaults();
    cases.push_back({"redirect to itself", VLServerFaults()});
    cases.push_back({"answer nested 14000 deep", VLServerFaults()});
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string target = i == 3 ? "/loop" : i == 4 ? "/deep" : "/q";
        server.SetFaults(cases[i].second);
        // Once to the head limit, once stopped long before it.
        for (bool stop : {false, true}) {
            if (stop && i >= 3) continue;
            std::unique_ptr<ShortWaitLimits> limits(stop ? nullptr : new ShortWaitLimits);
            std::atomic<bool> cancelled{false};
            std::thread canceller([&] {
                Sleep(300);
                cancelled = stop;
            });
            const DWORD started = GetTickCount();
            EXPECT_FALSE(QueryDownloadInfo(ToWide(server.Url(target).c_str()), info, &cancelled)) << cases[i].first;
            const DWORD took = GetTickCount() - started;
            canceller.join();
            EXPECT_LT(took, stop ? 2000u : ShortWaitLimits::kHeadMs + 2000u) << cases[i].first << " stop " << stop;
        }
    }
    EXPECT_EQ(kMaxRedirects + 1, server.CountRequests("/loop"));
}

TEST(XmlDocument, SaveAndLoadRoundTrip)
{
    TestFolder folder;
    VLXmlDocument document;
    TiXmlElement* seeds = AddElement(&document, L"Seeds");
    TiXmlElement* seed = AddElement(seeds, L"Seed");
    AddElementWithText(seed, L"gameId", L"40020");
    AddElementWithText(seed, L"resume", L"C:\\x\\pkg.exe.vll");
    document.path = folder / L"seeds.xml";
    ASSERT_TRUE(document.Save());
    // Written as text: its line ends are CR LF.
    EXPECT_NE(std::string::npos, Velora::Test::ReadFileBytes(document.path).find("</Seed>\r\n"));

    VLXmlDocument loaded;
    ASSERT_TRUE(loaded.Load(folder / L"seeds.xml"));
    EXPECT_TRUE(loaded.loaded);
    TiXmlElement* first = FirstChildElement(FirstChildElement(&loaded, L"Seeds"), L"Seed");
    ASSERT_NE(nullptr, first);
    std::wstring text;
    EXPECT_TRUE(GetElementText(FirstChildElement(first, L"resume"), text));
    EXPECT_EQ(L"C:\\x\\pkg.exe.vll", text);
    EXPECT_EQ(L"Seed", GetElementName(first));
    EXPECT_FALSE(GetElementText(first, text));
    EXPECT_EQ(L"", text);
    EXPECT_EQ(nullptr, FirstChildElement(first, L"missing"));

    VLXmlDocument missing;
    EXPECT_FALSE(missing.Load(folder / L"none.xml"));
    EXPECT_FALSE(missing.loaded);

    // A seed list nested past any the program writes is refused unparsed,
    // also where its line ends, read as LF, move the end of a multibyte
    // character so that the parser no longer sees the end tags behind it.
    for (const std::string& deep : {Nest(20000, "<a>", "", "</a>"), Nest(100000, "<a>\xE4\r\n</a>", "", ""),
                                    Nest(100000, "<a>\xF0\r\r\n</a>", "", ""), Nest(100000, "<a>\xE4\r</a>", "", "")}) {
        ASSERT_TRUE(Velora::Test::WriteFileBytes(folder / L"deep.xml", "\xEF\xBB\xBF" + deep));
        VLXmlDocument refused;
        EXPECT_FALSE(refused.Load(folder / L"deep.xml")) << deep.substr(0, 12);
    }
}

// The seed entries of the list at path; -1 when it does not load.
int CountSeeds(const std::wstring& path)
{
    VLXmlDocument document;
    if (!document.Load(path)) return -1;
    int count = 0;
    for (TiXmlElement* seed = FirstChildElement(FirstChildElement(&document, L"Seeds"), L"Seed"); seed;
         seed = seed->NextSiblingElement())
        ++count;
    return count;
}

// Another process saves a long seed list again and again, and is killed at
// moments spread over its saves: every list read meanwhile, and the list it
// leaves, is a whole one.
TEST(XmlDocument, AKillDuringASaveLeavesTheLastWholeList)
{
    constexpr int kSeeds = 4000;
    TestFolder folder;
    const std::wstring list = folder / L"seeds.xml";
    const std::wstring eventName = L"vl-seed-list-saved-" + std::to_wstring(GetCurrentProcessId());
    VLHandle saved(CreateEventW(nullptr, FALSE, FALSE, eventName.c_str()));
    std::wstring command =
        L"\"Z:" + ToWide(VL_SEED_LIST_SAVER) + L"\" \"" + list + L"\" " + eventName + L" " + std::to_wstring(kSeeds);
    for (DWORD killAfterMs : {0, 1, 2, 3, 5, 8, 13, 21}) {
        SCOPED_TRACE(killAfterMs);
        STARTUPINFOW startup = {sizeof(startup)};
        PROCESS_INFORMATION started = {};
        ASSERT_TRUE(
            CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started));
        VLHandle process(started.hProcess), thread(started.hThread);
        const HANDLE either[] = {saved.Get(), process.Get()};
        ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, either, FALSE, 60000));
        for (int read = 0; read < 3; ++read) EXPECT_EQ(kSeeds, CountSeeds(list));
        Sleep(killAfterMs);
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(process.Get(), 0)) << "a save failed";
        TerminateProcess(process.Get(), 9);
        WaitForSingleObject(process.Get(), 60000);
        EXPECT_EQ(kSeeds, CountSeeds(list));
    }
}

} // namespace
} // namespace Velora
