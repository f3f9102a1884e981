#include "tests/support/TestFolder.h"
#include "tests/ui/SkinWindow.h"
#include "tests/ui/TestImages.h"
#include "tests/ui/UiTestSupport.h"

#include "ui/core/Container.h"
#include "ui/core/MarkupBuilder.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace Velora {
namespace {

struct Built {
    BoundManager bound;
    VLMarkupBuilder builder;
    std::unique_ptr<VLControl> root;
    Built(const std::wstring& markup, const wchar_t* windowName = nullptr)
        : root(builder.Create(markup.c_str(), nullptr, windowName, kMarkupText, &bound.manager))
    {
    }
};

TEST(MarkupBuilderTest, OnlyTheNamedWindowIsBuilt)
{
    const std::wstring markup = L"<Root><Window><Control text=\"none\" /></Window>"
                                L"<Window name=\"A\"><Control text=\"a\" /></Window>"
                                L"<Window name=\"B\"><Control text=\"b\" /><Control text=\"2nd\" /></Window></Root>";
    const struct {
        const wchar_t* name;
        const wchar_t* text; // null: nothing built
    } cases[] = {{L"B", L"b"}, {L"A", L"a"}, {L"C", nullptr}, {nullptr, nullptr}};
    for (const auto& c : cases) {
        Built built(markup, c.name);
        if (!c.text) {
            EXPECT_EQ(built.root, nullptr);
            continue;
        }
        ASSERT_NE(built.root, nullptr);
        EXPECT_EQ(built.root->GetText(), c.text);
    }
}

TEST(MarkupBuilderTest, FontsDefaultsAndWindowAttributesReachTheManager)
{
    Built built(L"<Window caption=\"0,0,0,40\" sizebox=\"4,4,4,4\" mininfo=\"300,200\" roundcorner=\"5\" "
                L"layeredwindow=\"True\" layeredwindowalpha=\"50\">"
                L"<Font font=\"\" name=\"Tahoma\" default=\"true\" />"
                L"<Font font=\"big\" name=\"Tahoma\" size=\"20\" bold=\"True\" defaultbold=\"true\" />"
                L"<Font font=\"nameless\" />"
                L"<Default name=\"Control\" value='text=\"default\" tooltip=\"tip\"' />"
                L"<Control text=\"own\" /></Window>");
    const VLPaintManager& m = built.bound.manager;
    ASSERT_NE(built.root, nullptr);
    EXPECT_EQ(built.root->GetText(), L"own");
    EXPECT_EQ(built.root->GetToolTip(), L"tip");
    EXPECT_TRUE(Velora::Test::SameRect(m.GetCaption(), RECT{0, 0, 0, 40}));
    EXPECT_TRUE(Velora::Test::SameRect(m.GetSizeBox(), RECT{4, 4, 4, 4}));
    EXPECT_EQ(m.GetSizeBoxCorner(), 0);
    EXPECT_EQ(m.GetMinInfo().cx, 300);
    EXPECT_EQ(m.GetRoundCorner().cx, 5);
    EXPECT_EQ(m.GetRoundCorner().cy, 0);
    EXPECT_FALSE(m.IsLayered());
    EXPECT_EQ(m.GetLayeredAlpha(), 50);
    VLFontInfo* font = built.bound.manager.GetFont(L"");
    EXPECT_EQ(font->face, L"Tahoma");
    EXPECT_EQ(font->size, 12);
    EXPECT_EQ(m.GetDefaultBoldFont()->size, 20);
    EXPECT_FALSE(m.GetDefaultBoldFont()->bold);
    EXPECT_EQ(built.bound.manager.GetFont(L"nameless"), font); // unknown names fall back to the default
}

TEST(MarkupBuilderTest, WindowAttributesNeedTheManagersWindow)
{
    VLPaintManager unbound;
    VLMarkupBuilder builder;
    std::unique_ptr<VLControl> root(
        builder.Create(L"<Window caption=\"0,0,0,40\"><Control /></Window>", nullptr, nullptr, kMarkupText, &unbound));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(unbound.GetCaption().bottom, 0);
}

// Markup in each code page it may arrive in: the declaration or the byte-order
// mark decides how its texts are read.
TEST(MarkupBuilderTest, FileTextIsReadInTheCodePageItDeclares)
{
    const std::string gbk = "\xD6\xD0\xCE\xC4", utf8 = "\xE4\xB8\xAD\xE6\x96\x87"; // the same two characters
    const std::string cases[] = {
        {"<?xml version=\"1.0\" encoding=\"GBK\"?><Window><Control text=\"" + gbk + "\" /></Window>"},
        {"<?xml version=\"1.0\" encoding=\"gb2312\"?><Window><Control text=\"" + gbk + "\" /></Window>"},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Window><Control text=\"" + utf8 + "\" /></Window>"},
        {"\xEF\xBB\xBF<Window><Control text=\"" + utf8 + "\" /></Window>"},
    };
    Velora::Test::TestFolder folder;
    for (const std::string& bytes : cases) {
        const std::wstring path = folder / L"markup.xml";
        ASSERT_TRUE(Velora::Test::WriteFileBytes(path, bytes));
        VLMarkupBuilder builder;
        std::unique_ptr<VLControl> root(builder.Create(path.c_str(), nullptr, nullptr, kMarkupFile, nullptr));
        ASSERT_NE(root, nullptr) << bytes;
        EXPECT_EQ(root->GetText(), L"\u4E2D\u6587") << bytes;
    }
    Built wide(L"<Window><Control text=\"\u4E2D\u6587&#10;\" /></Window>");
    EXPECT_EQ(wide.root->GetText(), L"\u4E2D\u6587\n");
}

TEST(MarkupBuilderTest, UnclosedResourceElementKeepsItsAttributesAndNothingPastIt)
{
    VLMarkupBuilder builder;
    std::unique_ptr<VLControl> root(builder.Create(MAKEINTRESOURCEW(230), L"XML", nullptr, kMarkupResource, nullptr));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetId(), 5);
    EXPECT_EQ(root->GetText(), L"ok");
    EXPECT_EQ(root->GetToolTip(), L"tip");
    // The next resource follows the markup's last byte directly; reading past
    // the end would have named the control.
    const HMODULE module = GetModuleHandleW(nullptr);
    HRSRC first = FindResourceW(module, MAKEINTRESOURCEW(230), L"XML");
    HRSRC next = FindResourceW(module, MAKEINTRESOURCEW(231), L"XML");
    const char* end =
        static_cast<const char*>(LockResource(LoadResource(module, first))) + SizeofResource(module, first);
    ASSERT_EQ(end, LockResource(LoadResource(module, next)));
    EXPECT_EQ(root->GetName(), L"");
}

TEST(MarkupBuilderTest, SourcesThatCannotBeReadBuildNothing)
{
    VLMarkupBuilder builder;
    EXPECT_EQ(builder.Create(MAKEINTRESOURCEW(299), L"XML", nullptr, kMarkupResource, nullptr), nullptr);
    EXPECT_EQ(builder.Create(L"Z:\\no\\such\\markup.xml", nullptr, nullptr, kMarkupFile, nullptr), nullptr);
    EXPECT_EQ(builder.Create(L"<Window><Control /></Window>", nullptr, nullptr, 4, nullptr), nullptr);
    EXPECT_EQ(builder.Create(L"", nullptr, nullptr, kMarkupText, nullptr), nullptr);
}

TEST(MarkupBuilderTest, ControlsThatCannotBeAttachedAreDeleted)
{
    const int before = ProbeControl::live;
    {
        VLMarkupBuilder::RegisterElement<ProbeControl>(L"Probe");
        Built built(L"<Window><Unknown><Probe /></Unknown><Probe><Probe /><Probe /></Probe><Probe /></Window>");
        ASSERT_NE(built.root, nullptr);
        EXPECT_EQ(ProbeControl::live, before + 1);
        Built row(L"<Window><HorizontalLayout><Probe><Probe /></Probe><Probe /></HorizontalLayout></Window>");
        EXPECT_EQ(ProbeControl::live, before + 3);
    }
    EXPECT_EQ(ProbeControl::live, before);
}

TEST(MarkupBuilderTest, ChildrenAreBuiltBeforeTheirParentsAttributes)
{
    Built built(L"<Window><VerticalLayout name=\"top\">"
                L"<Unknown><Control name=\"lost\" /></Unknown>"
                L"<Control name=\"plain\"><Control name=\"inner\" /></Control>"
                L"<HorizontalLayout name=\"row\" childpadding=\"3\">"
                L"<Button name=\"ok\" text=\"OK\" /></HorizontalLayout>"
                L"<Option name=\"last\" group=\"3\" /></VerticalLayout><Control name=\"second root\" /></Window>");
    auto* top = static_cast<VLContainer*>(built.root->GetInterface(4));
    ASSERT_NE(top, nullptr);
    ASSERT_EQ(top->GetCount(), 3);
    EXPECT_EQ(top->GetItemAt(0)->GetName(), L"plain");
    EXPECT_EQ(top->GetItemAt(2)->GetName(), L"last");
    // The manager was set before the attributes: the option joined its group.
    ASSERT_NE(built.bound.manager.GetOptionGroup(3), nullptr);
    EXPECT_EQ(built.bound.manager.GetOptionGroup(3)->size(), 1u);
    auto* row = static_cast<VLContainer*>(top->GetItemAt(1)->GetInterface(4));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->GetChildPadding(), 3);
    EXPECT_EQ(row->GetItemAt(0)->GetText(), L"OK");
    EXPECT_EQ(row->GetItemAt(0)->GetClassId(), 5);
    EXPECT_EQ(row->GetItemAt(0)->GetManager(), &built.bound.manager);
    for (const wchar_t* missing : {L"lost", L"inner", L"second root"}) {
        EXPECT_EQ(built.bound.manager.FindControlByName(missing), nullptr) << missing;
    }
}

// Both windows of the program's own markup, as the program builds them.
TEST(MarkupBuilderTest, ProgramMarkupBuildsBothWindows)
{
    const struct {
        const wchar_t* window;
        int id;
        const wchar_t* text;
    } cases[] = {{L"HarrowWnd", 513, L"\u7ACB\u5373\u68C0\u6D4B"}, {L"HarrowMsgWnd", 540, L"\u786E \u5B9A"}};
    for (const auto& c : cases) {
        BoundManager bound;
        VLMarkupBuilder builder;
        bound.manager.AttachRoot(builder.Create(VL_APP_MARKUP, nullptr, c.window, kMarkupFile, &bound.manager));
        VLControl* control = bound.manager.FindControl(c.id);
        ASSERT_NE(control, nullptr) << c.window;
        EXPECT_EQ(control->GetText(), c.text);
        EXPECT_EQ(bound.manager.GetCaption().bottom, c.id == 540 ? 30 : 40);
        EXPECT_EQ(bound.manager.GetFont(L"title")->face, L"\u5B8B\u4F53");
    }
}

// Generated hostile markup: every case either builds or fails, never crashes,
// and nesting beyond the limit is refused before it is read.
TEST(MarkupBuilderTest, HostileMarkupFailsOrBuilds)
{
    std::mt19937 random(18);
    const std::vector<std::wstring> pieces = {
        L"<Window>", L"</Window>", L"<Control", L" text=\"", L"\"", L" />", L">", L"</Control>", L"<Unknown>",
        L"<Font name=\"", L"<Default name=\"Control\" value='", L"'", L"&#", L"&amp;", L"<!--", L"-->", L"<?xml ",
        L"?>", L"<![CDATA[", L"]]>", L"pos=\"1,2\"", L" id=\"-7\"", L"<Root>", L"\u4E2D", L"=", L"<", L"&"};
    int built = 0;
    for (int i = 0; i < 240; ++i) {
        std::wstring markup;
        const int count = 1 + static_cast<int>(random() % 40);
        for (int k = 0; k < count; ++k) markup += pieces[random() % pieces.size()];
        if (i % 40 == 0) markup = L"<Window><Control text=\"" + std::wstring(200000 + i, L'x') + L"\" /></Window>";
        Built result(markup, i % 3 ? nullptr : L"A");
        built += result.root != nullptr;
    }
    EXPECT_GT(built, 0);
    const struct {
        size_t depth;
        bool builds;
    } nesting[] = {{VLMarkupBuilder::kMaxDepth - 1, true}, {VLMarkupBuilder::kMaxDepth + 1, false}, {100000, false}};
    for (const auto& n : nesting) {
        std::wstring markup = L"<Window>";
        for (size_t d = 0; d < n.depth; ++d) markup += L"<Control>";
        Built result(markup);
        EXPECT_EQ(result.root != nullptr, n.builds) << n.depth;
    }
}

// Markup files read as UTF-8, where a lead byte swallows the end tag after
// it, and elements with more attributes than the reader checks quickly.
TEST(MarkupBuilderTest, MultibyteNestingAndAttributeFloodsAreRefused)
{
    const auto repeat = [](const std::string& piece, size_t count) {
        std::string text;
        for (size_t i = 0; i < count; ++i) text += piece;
        return text;
    };
    std::string attributes;
    for (size_t i = 0; i < VLMarkupBuilder::kMaxAttributes; ++i) attributes += " a" + std::to_string(i) + "=''";
    const std::pair<std::string, bool> cases[] = {
        {"\xEF\xBB\xBF<Window>" + repeat("<Container>\xF0</a>", 5000), false},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Window>" + repeat("<Container>\xF0</a>", 4500), false},
        {"<Window>" + repeat("<Container>\xF0</Container>", 5000) + "<Control/></Window>", true}, // GBK: closed
        {"<Window><Control" + attributes + "/></Window>", true},
        {"<Window><Control" + attributes + " x=''/></Window>", false},
        {"<Window><Control" + repeat(" a=''", 100000) + "/></Window>", false},
    };
    Velora::Test::TestFolder folder;
    const std::wstring path = folder / L"hostile.xml";
    for (const auto& [bytes, builds] : cases) {
        ASSERT_TRUE(Velora::Test::WriteFileBytes(path, bytes));
        BoundManager bound;
        VLMarkupBuilder builder;
        std::unique_ptr<VLControl> root(builder.Create(path.c_str(), nullptr, nullptr, kMarkupFile, &bound.manager));
        EXPECT_EQ(root != nullptr, builds) << bytes.substr(0, 60);
    }
}

} // namespace
} // namespace Velora
