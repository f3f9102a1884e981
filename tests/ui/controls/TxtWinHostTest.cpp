#include "ui/controls/TxtWinHost.h"

#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

namespace Velora {
namespace {

// An owner with two recorded scroll bars and no container around it.
class BarOwner : public VLControl, public ITextHostOwner {
public:
    struct Bar {
        bool exists = true;
        bool visible = false;
        int range = -1;
        int pos = -1;
    };
    VLControl* GetHostedControl() override { return this; }
    bool IsRichText() const override { return rich; }
    int GetTextLimit() const override { return limit; }
    bool HasHostBar(bool vertical) const override { return BarOf(vertical).exists; }
    void ShowHostBar(bool vertical, bool show) override { BarOf(vertical).visible = show; }
    void EnableHostBars(bool vertical, bool horizontal) override
    {
        bars[0].exists = vertical;
        bars[1].exists = horizontal;
    }
    void SetHostBarRange(bool vertical, int range) override { BarOf(vertical).range = range; }
    void SetHostBarPos(bool vertical, int pos) override { BarOf(vertical).pos = pos; }
    bool WantsViewChange() override { return true; }
    void OnTxNotify(DWORD code, void*) override { notified.push_back(code); }

    const Bar& BarOf(bool vertical) const { return bars[vertical ? 0 : 1]; }
    Bar& BarOf(bool vertical) { return bars[vertical ? 0 : 1]; }
    Bar bars[2];
    bool rich = true;
    int limit = 32767;
    std::vector<DWORD> notified;
};

struct HostFixture {
    explicit HostFixture(DWORD style = ES_MULTILINE, const wchar_t* text = nullptr, int limit = 32767)
    {
        owner.limit = limit;
        owner.SetManager(&bound.manager);
        CREATESTRUCTW create = {};
        create.style = static_cast<LONG>(style);
        create.lpszName = text;
        host = VLTxtWinHost::CreateHost(&owner, &create);
    }
    ~HostFixture()
    {
        if (host) host->Release();
    }
    BoundManager bound;
    BarOwner owner;
    VLTxtWinHost* host = nullptr;
};

TEST(TxtWinHost, ChineseTextRoundTripsThroughTheServices)
{
    const std::wstring text = L"运行库检测 ABC 中文";
    HostFixture f(ES_MULTILINE, text.c_str());
    ASSERT_NE(f.host, nullptr);
    EXPECT_EQ(f.host->GetText(), text);
    ASSERT_EQ(f.host->GetTextServices()->TxSetText(L"第二行\r第三行"), S_OK);
    EXPECT_EQ(f.host->GetText(), L"第二行\r第三行");
}

TEST(TxtWinHost, PropertyBitsFollowStyleAndHostBits)
{
    struct Row {
        DWORD style;
        bool rich;
        DWORD expected;
    } rows[] = {
        {ES_MULTILINE, true, TXTBIT_MULTILINE | TXTBIT_RICHTEXT | TXTBIT_HIDESELECTION | TXTBIT_WORDWRAP},
        {0, false, TXTBIT_HIDESELECTION | TXTBIT_WORDWRAP},
        {0, true, TXTBIT_RICHTEXT | TXTBIT_HIDESELECTION | TXTBIT_WORDWRAP},
        {ES_READONLY | ES_PASSWORD | ES_NOHIDESEL | ES_AUTOHSCROLL, false, TXTBIT_READONLY | TXTBIT_USEPASSWORD},
        {ES_MULTILINE | WS_HSCROLL, false, TXTBIT_MULTILINE | TXTBIT_HIDESELECTION},
    };
    for (const Row& row : rows) {
        HostFixture f(row.style);
        f.owner.rich = row.rich;
        ASSERT_NE(f.host, nullptr);
        f.host->SetRichText(row.rich);
        DWORD bits = 0;
        f.host->TxGetPropertyBits(0xFFFFFFFF, &bits);
        EXPECT_EQ(bits, row.expected) << "style " << std::hex << row.style;
        f.host->TxGetPropertyBits(TXTBIT_MULTILINE, &bits);
        EXPECT_EQ(bits, row.expected & TXTBIT_MULTILINE);
    }
}

TEST(TxtWinHost, ScrollRangeBeyondTheClientShowsTheBar)
{
    HostFixture f;
    ASSERT_NE(f.host, nullptr);
    f.host->SetClientRect({10, 10, 60, 110}); // 50 wide, 100 high
    struct Row {
        int bar;
        LONG minPos;
        INT maxPos;
        bool visible;
        int range;
    } rows[] = {{SB_VERT, 0, 100, false, -1},
                {SB_VERT, 0, 101, true, 1},
                {SB_VERT, 5, 205, true, 100},
                {SB_HORZ, 0, 50, false, -1},
                {SB_HORZ, 0, 80, true, 30}};
    for (const Row& row : rows) {
        BarOwner::Bar& bar = f.owner.BarOf(row.bar == SB_VERT);
        bar = BarOwner::Bar();
        bar.visible = !row.visible;
        EXPECT_TRUE(f.host->TxSetScrollRange(row.bar, row.minPos, row.maxPos, TRUE));
        EXPECT_EQ(bar.visible, row.visible) << row.minPos << ".." << row.maxPos;
        EXPECT_EQ(bar.range, row.range);
    }
    // Without the bar nothing is shown.
    f.owner.bars[0] = BarOwner::Bar();
    f.owner.bars[0].exists = false;
    f.host->TxSetScrollRange(SB_VERT, 0, 500, TRUE);
    EXPECT_FALSE(f.owner.bars[0].visible);
}

TEST(TxtWinHost, DefaultFormatsComeFromTheOwnersFont)
{
    BoundManager bound;
    ASSERT_EQ(GetDeviceCaps(bound.manager.GetPaintDC(), LOGPIXELSY), 96);
    bound.manager.AddFont(L"SimSun", L"body", 12, true, false, true);
    BarOwner owner;
    owner.SetManager(&bound.manager);
    owner.fonts[kTextNormal] = L"body";
    owner.SetNormalTextColor(0xFF102030);
    CREATESTRUCTW create = {};
    create.style = ES_MULTILINE | ES_RIGHT;
    VLTxtWinHost* host = VLTxtWinHost::CreateHost(&owner, &create);
    ASSERT_NE(host, nullptr);
    const CHARFORMATW* cf = nullptr;
    host->TxGetCharFormat(&cf);
    const auto* cf2 = reinterpret_cast<const CHARFORMAT2W*>(cf);
    EXPECT_EQ(cf2->cbSize, 116u);
    EXPECT_EQ(cf2->dwMask, 0xF8000007u);
    EXPECT_EQ(cf2->yHeight, 180);
    EXPECT_EQ(cf2->dwEffects, static_cast<DWORD>(CFE_BOLD | CFE_ITALIC));
    EXPECT_EQ(cf2->crTextColor, RGB(0x10, 0x20, 0x30));
    EXPECT_STREQ(cf2->szFaceName, L"SimSun");
    const PARAFORMAT* pf = nullptr;
    host->TxGetParaFormat(&pf);
    EXPECT_EQ(pf->cbSize, 188u);
    EXPECT_EQ(pf->wAlignment, PFA_RIGHT);
    EXPECT_EQ(pf->cTabCount, 1);
    EXPECT_EQ(pf->rgxTabs[0], 720);
    host->Release();
}

TEST(TxtWinHost, AnswersOnlyItsOwnInterfaces)
{
    HostFixture f;
    ASSERT_NE(f.host, nullptr);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(f.host->QueryInterface(IID_IUnknown, &object), S_OK);
    EXPECT_EQ(object, static_cast<ITextHost*>(f.host));
    f.host->Release();
    IUnknown* services = nullptr;
    f.host->GetTextServices()->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&services));
    ASSERT_NE(services, nullptr);
    services->Release();
    // The services' own interface id, taken from the same library the host uses.
    HMODULE library = GetModuleHandleW(L"riched20.dll");
    const auto* servicesId = reinterpret_cast<const IID*>(GetProcAddress(library, "IID_ITextServices"));
    ASSERT_NE(servicesId, nullptr);
    EXPECT_EQ(f.host->QueryInterface(*servicesId, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST(TxtWinHost, LimitBelowOneMeansTheDefaultAtCreationAndLive)
{
    HostFixture f(ES_MULTILINE, nullptr, 0);
    ASSERT_NE(f.host, nullptr);
    DWORD length = 0;
    f.host->TxGetMaxLength(&length);
    EXPECT_EQ(length, 32767u);
    LRESULT result = 0;
    f.host->GetTextServices()->TxSendMessage(WM_CHAR, L'x', 0, &result);
    EXPECT_EQ(f.host->GetText(), L"x");
    f.host->SetMaxLength(5000);
    f.host->TxGetMaxLength(&length);
    EXPECT_EQ(length, 5000u);
    f.host->SetMaxLength(-3);
    f.host->TxGetMaxLength(&length);
    EXPECT_EQ(length, 32767u);
}

} // namespace
} // namespace Velora
