#include "ui/controls/Advert.h"
#include "ui/controls/ActiveX.h"
#include "ui/controls/Picture.h"

#include "ui/core/Button.h"

#include "tests/ui/UiTestSupport.h"
#include "tests/ui/controls/ActiveXHost.h"

namespace Velora {
namespace {

// The advert's posted messages waiting in the window's queue.
std::vector<MSG> TakePosted(HWND window)
{
    std::vector<MSG> posted;
    MSG msg;
    while (PeekMessageW(&msg, window, kMsgAdvertClicked, kMsgAdvertClosed, PM_REMOVE)) posted.push_back(msg);
    return posted;
}

VLControlEvent Click(int x, int y)
{
    VLControlEvent event;
    event.type = kEventActivate;
    event.ptMouse = {x, y};
    return event;
}

TEST(Advert, WithoutManagerBuildsNothing)
{
    VLAdvert advert;
    advert.Init();
    EXPECT_EQ(0, advert.GetCount());
    EXPECT_EQ(nullptr, advert.GetPicture()->GetParent());
}

using AdvertTest = ActiveXTest;

TEST_F(AdvertTest, BuildsWithoutFlashAndReportsClicksByMessage)
{
    BoundManager bound;
    auto* advert = new VLAdvert;
    advert->SetManager(&bound.manager);
    advert->Init();
    ASSERT_EQ(2, advert->GetCount());
    EXPECT_EQ(advert->GetFlash(), advert->GetItemAt(0));
    EXPECT_EQ(advert->GetPicture(), advert->GetItemAt(1));
    EXPECT_EQ(2, advert->GetPicture()->GetCount());
    EXPECT_EQ(advert->GetCloseButton(), advert->GetPicture()->GetItemAt(1));
    // The tip is the program's string-table entry: this suite has no table,
    // so the entry shows as its number.
    EXPECT_EQ(std::to_wstring(kStringAdvertClose), advert->GetCloseButton()->GetToolTip());
    EXPECT_FALSE(advert->GetPicture()->IsVisible());
    EXPECT_FALSE(advert->GetCloseButton()->IsVisible());

    // Flash is not installed here: its host stays empty and nothing breaks.
    bound.manager.AttachRoot(advert);
    advert->SetPos({0, 0, 200, 100});
    advert->GetFlash()->SetPos({0, 0, 200, 100});
    EXPECT_EQ(nullptr, advert->GetFlash()->GetSite());
    advert->SetVisible(true);
    EXPECT_TRUE(advert->GetFlash()->IsVisible());

    // The close button, shown by its user, passes a click up to the advert.
    advert->GetPicture()->SetVisible(true);
    advert->GetCloseButton()->SetVisible(true);
    advert->GetCloseButton()->SetPos({180, 0, 200, 20});
    VLControlEvent inside = Click(190, 10);
    EXPECT_TRUE(advert->GetCloseButton()->Activate(inside));
    std::vector<MSG> posted = TakePosted(bound.manager.GetWindow());
    ASSERT_EQ(1u, posted.size());
    EXPECT_EQ(kMsgAdvertClosed, posted[0].message);
    EXPECT_EQ(0u, posted[0].wParam);
    EXPECT_FALSE(advert->IsVisible());
    EXPECT_FALSE(advert->GetFlash()->IsVisible());

    advert->SetVisible(true);
    VLControlEvent elsewhere = Click(20, 50);
    EXPECT_TRUE(advert->Activate(elsewhere));
    posted = TakePosted(bound.manager.GetWindow());
    ASSERT_EQ(1u, posted.size());
    EXPECT_EQ(kMsgAdvertClicked, posted[0].message);
    EXPECT_EQ(reinterpret_cast<WPARAM>(advert), posted[0].wParam);
    EXPECT_TRUE(advert->IsVisible());
}

} // namespace
} // namespace Velora
