// A list row through its states (texts, check box and busy image), its size
// text, its copy, and the stripes that follow its position in the list.
#include "app/HarrowElement.h"

#include "ui/core/Option.h"
#include "ui/core/PaintManager.h"
#include "ui/core/VerticalLayout.h"

#include <gtest/gtest.h>

namespace Velora {
namespace {

bool Present()
{
    return true;
}

const VLSoftwareDetect kJava(0, 40020, kImageJava, L"JavaSE", &Present);

TEST(HarrowElement, StatesSetTextAndWhichOfBoxAndBusyImageShows)
{
    struct Case {
        RuntimeRowState state;
        const wchar_t* text;
        bool boxShown; // after starting with the box shown
        bool busyShown;
    };
    const Case cases[] = {
        {RuntimeRowState::Unchecked, L"", true, false},
        {RuntimeRowState::Installed, L"{c #6e6e6e}已安装{/c}", true, false},
        {RuntimeRowState::Missing, L"{c #f78325}未安装{/c}", true, false},
        {RuntimeRowState::Repairing, L"{c #5ebf03}正在修复{/c}", false, true},
        {RuntimeRowState::Queued, L"{c #f78325}未安装{/c}", false, true}, // leaves both as they are
        {RuntimeRowState::Missing, L"{c #f78325}未安装{/c}", true, false},
        {RuntimeRowState::Repairing, L"{c #5ebf03}正在修复{/c}", false, true},
        {RuntimeRowState::RepairFailed, L"{c #f78325}修复失败{/c}", true, false},
        {RuntimeRowState::Repairing, L"{c #5ebf03}正在修复{/c}", false, true},
        {RuntimeRowState::Repaired, L"{c #6e6e6e}修复成功{/c}", true, false},
        {static_cast<RuntimeRowState>(7), L"{c #6e6e6e}修复成功{/c}", true, false}, // stored only
    };
    VLPaintManager manager;
    VLHarrowElement row(&manager, kJava);
    EXPECT_EQ(kRowHeight, row.GetFixedHeight());
    EXPECT_EQ(L"JavaSE", row.GetTitle());
    EXPECT_FALSE(row.GetBusyImage()->IsVisible());
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.state));
        row.SetState(c.state);
        EXPECT_EQ(c.state, row.GetState());
        EXPECT_EQ(c.text, row.GetStatusLabel()->GetText());
        EXPECT_EQ(c.boxShown, row.GetCheckBox()->IsVisible());
        EXPECT_EQ(c.busyShown, row.GetBusyImage()->IsVisible());
    }
    row.SetState(RuntimeRowState::Unchecked);
    EXPECT_FALSE(row.GetCheckBox()->IsEnabled());
    EXPECT_EQ(kRowCheckBox, row.GetCheckBox()->GetId());
    EXPECT_EQ(kRowBusyImage, row.GetBusyImage()->GetId());
}

TEST(HarrowElement, ACopyKeepsTitleStateTickBoxAndSize)
{
    VLPaintManager manager;
    VLHarrowElement row(&manager, kJava);
    row.SetPackageSize(247932001);
    EXPECT_EQ(L"大小： 236.4MB", row.GetSizeLabel()->GetText());
    row.SetState(RuntimeRowState::Missing);
    row.SetTicked(true);
    for (bool boxShown : {true, false}) {
        row.GetCheckBox()->SetVisible(boxShown);
        const VLHarrowElement copy(row);
        EXPECT_EQ(L"JavaSE", copy.GetTitle());
        EXPECT_EQ(40020, copy.GetRecord().id);
        EXPECT_EQ(RuntimeRowState::Missing, copy.GetState());
        EXPECT_TRUE(copy.IsTicked());
        EXPECT_EQ(boxShown, copy.GetCheckBox()->IsVisible());
        EXPECT_EQ(247932001u, copy.GetPackageSize());
        EXPECT_EQ(L"大小： 236.4MB", copy.GetSizeLabel()->GetText());
        EXPECT_EQ(&manager, copy.GetManager());
    }
}

TEST(HarrowElement, StripesFollowThePositionInTheList)
{
    VLPaintManager manager;
    VLVerticalLayout list;
    list.SetManager(&manager);
    std::vector<VLHarrowElement*> rows;
    for (int i = 0; i < 3; ++i) {
        rows.push_back(new VLHarrowElement(&manager, kJava));
        list.Add(rows.back());
    }
    list.SetItemIndex(rows[2], 0);
    for (VLHarrowElement* row : rows) row->SetStripeImage();
    const auto stripe = [](int image) { return L"res='" + std::to_wstring(image) + L"' restype='PNG'"; };
    EXPECT_EQ(stripe(kImageRowStripeEven), rows[2]->bkImages[kImageNormal]);
    EXPECT_EQ(stripe(kImageRowStripeOdd), rows[0]->bkImages[kImageNormal]);
    EXPECT_EQ(stripe(kImageRowStripeEven), rows[1]->bkImages[kImageNormal]);
}

} // namespace
} // namespace Velora
