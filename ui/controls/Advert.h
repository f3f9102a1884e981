// An advertisement: a Flash object and a picture carrying a close button. A
// click on the close button hides the advert and tells the window; a click
// anywhere else tells the window the advert was clicked. Both are posted
// window messages, not notifications.
#pragma once

#include "ui/core/Container.h"

#include <memory>

namespace Velora {

class VLActiveX;
class VLButton;
class VLPicture;

constexpr int kClassAdvert = 20;
// Posted to the window: the advert was clicked (wParam: the advert), or
// closed by its close button.
constexpr UINT kMsgAdvertClicked = WM_USER + 10;
constexpr UINT kMsgAdvertClosed = WM_USER + 11;
// The close button's tip in the program's string table: "关闭".
constexpr UINT kStringAdvertClose = 1363;

class VLAdvert : public VLContainer {
public:
    VLAdvert();
    ~VLAdvert() override;

    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    // Reached through the children, which pass their activation up.
    bool Activate(VLControlEvent& event) override;
    // The Flash object follows the advert; the picture keeps its own state.
    void SetVisible(bool visible) override;
    // Puts the children together once the advert has a manager; the
    // picture and the close button stay hidden until shown by their user.
    void Init() override;

    VLPicture* GetPicture() const { return picture_; }
    VLActiveX* GetFlash() const { return flash_; }
    VLButton* GetCloseButton() const { return closeButton_; }

private:
    // The children until Init hands them to the tree, which owns them after.
    std::unique_ptr<VLPicture> ownPicture_;
    std::unique_ptr<VLActiveX> ownFlash_;
    std::unique_ptr<VLButton> ownCloseButton_;
    VLPicture* picture_;
    VLActiveX* flash_;
    VLButton* closeButton_;
};

} // namespace Velora
