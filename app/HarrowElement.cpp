#include "app/HarrowElement.h"

#include "app/AppString.h"
#include "app/HarrowWndIds.h"
#include "app/RuntimeTable.h"
#include "ui/core/Option.h"
#include "ui/core/PaintManager.h"
#include "ui/core/VerticalLayout.h"

namespace Velora {
namespace {

constexpr uint32_t kStripeEven = 516;

// The texts of states 1 to 6 in the string table.
constexpr UINT kStateTexts[] = {1354, 1355, 1355, 1356, 1357, 1358};

// Every part of a row hands the mouse wheel to its parent, so that turning
// it anywhere over the row scrolls the list.
template <typename T> T* AddChild(VLContainer* parent, const wchar_t* attributes)
{
    T* child = new T;
    VLControl::ApplyAttributeList(attributes, child);
    child->SetDispatch(kEventMouseWheel, true);
    parent->Add(child);
    return child;
}

std::wstring ImageOf(int32_t id)
{
    return L"res='" + std::to_wstring(id) + L"' restype='PNG'";
}

} // namespace

VLHarrowElement::VLHarrowElement(VLPaintManager* manager, const VLSoftwareDetect& record) : record_(record)
{
    SetManager(manager);
    Build();
}

VLHarrowElement::VLHarrowElement(const VLHarrowElement& source) : VLHorizontalLayout(), record_(source.record_)
{
    SetManager(source.GetManager());
    Build();
    if (IsVisible()) SetTicked(source.IsTicked());
    SetState(source.state_);
    checkBox_->SetVisible(source.checkBox_->IsVisible());
    SetPackageSize(source.packageSize_);
}

void VLHarrowElement::Build()
{
    SetFixedHeight(kRowHeight);
    SetDispatch(kEventMouseWheel, true);

    VLContainer* boxes = AddChild<VLHorizontalLayout>(this, L"width=\"50\"");
    checkBox_ = AddChild<VLOption>(
        boxes, L"id=\"207\" width=\"18\" height=\"18\" padding=\"21,31,0,0\" "
               L"normalimage=\"res='408' restype='PNG' source='0,0,18,18' dest='0,0,18,18'\" "
               L"hotimage=\"res='408' restype='PNG' source='18,0,36,18' dest='0,0,18,18'\" "
               L"selectedimage=\"res='408' restype='PNG' source='36,0,54,18' dest='0,0,18,18'\" "
               L"disabledimage=\"res='408' restype='PNG' source='54,0,72,18' dest='0,0,18,18'\" "
               L"disabledselectedimage=\"res='408' restype='PNG' source='72,0,90,18' dest='0,0,18,18'\"");
    busyImage_ =
        AddChild<VLControl>(boxes, L"id=\"520\" width=\"21\" height=\"21\" padding=\"21,31,0,0\" "
                                   L"normalimage=\"res='521' restype='PNG' source='0,0,21,21' \" visible=\"false\"");

    VLContainer* logo = AddChild<VLHorizontalLayout>(this, L"width=\"60\"");
    VLControl* image = AddChild<VLControl>(logo, L"width=\"50\" height=\"50\" padding=\"2,16,0,0\"");
    image->SetNormalImage(ImageOf(record_.imageId));

    VLContainer* texts = AddChild<VLVerticalLayout>(this, L"width=\"557\"");
    titleLabel_ = AddChild<VLControl>(
        texts, L"height=\"25\" padding=\"4,23,0,0\" normalfont=\"element title\" normaltextcolor=\"#FF6E6E6E\"");
    sizeLabel_ = AddChild<VLControl>(
        texts, L"text=\"大小： 10.0MB\" normalfont=\"package size\" padding=\"4,2,0,0\" normaltextcolor=\"#FF9B9B9B\"");
    statusLabel_ = AddChild<VLControl>(
        this, L"width=\"65\" padding=\"22,34,0,0\" normalfont=\"element status\" align=\"right\" htmltext=\"true\"");
    titleLabel_->SetText(record_.name);
}

bool VLHarrowElement::Activate(VLControlEvent& event)
{
    if (!IsVisible() || !IsEnabled()) return false;
    if (GetManager()) GetManager()->SendNotify(this, kNotifyClick, 0, 0);
    return true;
}

const std::wstring& VLHarrowElement::GetTitle() const
{
    return titleLabel_->GetText();
}

void VLHarrowElement::SetState(int state)
{
    state_ = state;
    if (state < kRowUnchecked || state > kRowRepairing) return;
    if (state == kRowUnchecked) {
        checkBox_->SetEnabled(false);
        statusLabel_->SetText(std::wstring());
    } else {
        statusLabel_->SetVisible(true);
        statusLabel_->SetText(LoadAppString(kStateTexts[state - 1]));
    }
    const bool eitherShown = checkBox_->IsVisible() || busyImage_->IsVisible();
    const bool showBox = state == kRowRepaired || state == kRowRepairFailed || (state == kRowMissing && eitherShown);
    if (showBox || state == kRowRepairing) {
        checkBox_->SetVisible(showBox);
        busyImage_->SetVisible(!showBox);
    }
    Invalidate();
}

void VLHarrowElement::SetPackageSize(uint64_t size)
{
    packageSize_ = size;
    sizeLabel_->SetText(LoadAppString(kStringPackageSize) + FormatPackageSize(size));
}

void VLHarrowElement::SetStripeImage()
{
    const VLContainer* list = dynamic_cast<VLContainer*>(GetParent());
    if (!list) return;
    SetBkImage(ImageOf(int32_t(kStripeEven + (list->GetItemIndex(this) & 1))));
}

bool VLHarrowElement::IsTicked() const
{
    return checkBox_->IsSelected();
}

void VLHarrowElement::SetTicked(bool ticked)
{
    checkBox_->SetSelected(ticked);
}

} // namespace Velora
