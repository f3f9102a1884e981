#include "ui/controls/Advert.h"

#include "ui/controls/ActiveX.h"
#include "ui/controls/Picture.h"

#include "ui/core/Button.h"
#include "ui/core/PaintManager.h"
#include "ui/core/UIResources.h"

namespace Velora {

namespace {

constexpr wchar_t kFlashClass[] = L"{D27CDB6E-AE6D-11CF-96B8-444553540000}";
constexpr int kCloseToolTipDelay = 200;

} // namespace

VLAdvert::VLAdvert()
    : ownPicture_(std::make_unique<VLPicture>()), ownFlash_(std::make_unique<VLActiveX>()),
      ownCloseButton_(std::make_unique<VLButton>()), picture_(ownPicture_.get()), flash_(ownFlash_.get()),
      closeButton_(ownCloseButton_.get())
{
}

VLAdvert::~VLAdvert() = default;

int VLAdvert::GetClassId() const
{
    return kClassAdvert;
}

VLControl* VLAdvert::GetInterface(int id)
{
    return id == kClassAdvert || id == 1 ? this : nullptr;
}

void VLAdvert::Init()
{
    VLPaintManager* manager = GetManager();
    if (!manager || !ownFlash_) return;
    flash_->SetManager(manager);
    flash_->SetAttribute(L"clsid", kFlashClass);
    flash_->SetVisible(false);
    picture_->SetManager(manager);
    picture_->SetAttribute(L"flags", L"setcursor");
    picture_->SetVisible(false);
    Add(ownFlash_.release());
    Add(ownPicture_.release());

    auto* spacer = new VLControl;
    spacer->SetManager(manager);
    spacer->SetDispatch(kEventActivate, true);
    spacer->SetFixedHeight(1);
    picture_->Add(spacer);

    closeButton_->SetManager(manager);
    closeButton_->SetDispatch(kEventActivate, true);
    closeButton_->SetVisible(false);
    closeButton_->SetToolTip(VLUIResources::Instance()->LoadString(kStringAdvertClose));
    closeButton_->toolTipDelayTime = kCloseToolTipDelay;
    picture_->SetDispatch(kEventActivate, true);
    picture_->Add(ownCloseButton_.release());
}

bool VLAdvert::Activate(VLControlEvent& event)
{
    RECT close = closeButton_->GetPos();
    HWND window = GetManager() ? GetManager()->GetWindow() : nullptr;
    if (PtInRect(&close, event.ptMouse)) {
        SetVisible(false);
        flash_->SetVisible(false);
        Invalidate();
        if (window) PostMessageW(window, kMsgAdvertClosed, 0, 0);
    } else if (window) {
        PostMessageW(window, kMsgAdvertClicked, reinterpret_cast<WPARAM>(this), 0);
    }
    return true;
}

void VLAdvert::SetVisible(bool visible)
{
    flash_->SetVisible(visible);
    VLContainer::SetVisible(visible);
}

} // namespace Velora
