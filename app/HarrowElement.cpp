#include "app/HarrowElement.h"

#include "app/AppString.h"
#include "app/RuntimeTable.h"
#include "ui/core/Option.h"
#include "ui/core/PaintManager.h"
#include "ui/core/VerticalLayout.h"

namespace Velora {
namespace {

// Shown until the row learns its package's size.
constexpr uint64_t kPlaceholderSize = 10 * 1024 * 1024;

// Every part of a row hands the mouse wheel to its parent, so that turning
// it anywhere over the row scrolls the list.
template <typename T> T* AddChild(VLContainer* parent, const std::wstring& attributes, int id = 0)
{
    T* child = new T;
    VLControl::ApplyAttributeList(attributes, child);
    // Before it joins the tree, which registers its id.
    if (id != 0) child->SetId(id);
    child->SetDispatch(kEventMouseWheel, true);
    parent->Add(child);
    return child;
}

std::wstring ImageOf(int32_t id)
{
    return L"res='" + std::to_wstring(id) + L"' restype='PNG'";
}

// One 18-pixel cell of the check-box image.
std::wstring CheckBoxCell(const wchar_t* source)
{
    return ImageOf(kImageCheckBox) + L" source='" + source + L"' dest='0,0,18,18'";
}

// The text a row shows in each state; none in the unchecked state.
UINT StateText(RuntimeRowState state)
{
    switch (state) {
    case RuntimeRowState::Installed: return kStringRowInstalled;
    case RuntimeRowState::Missing:
    case RuntimeRowState::Queued: return kStringRowMissing;
    case RuntimeRowState::Repaired: return kStringRowRepaired;
    case RuntimeRowState::RepairFailed: return kStringRowRepairFailed;
    case RuntimeRowState::Repairing: return kStringRowRepairing;
    case RuntimeRowState::Unchecked: break;
    }
    return 0;
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
    checkBox_ = AddChild<VLOption>(boxes, L"width=\"18\" height=\"18\" padding=\"21,31,0,0\"", kRowCheckBox);
    const std::pair<const wchar_t*, const wchar_t*> cells[] = {
        {L"normalimage", L"0,0,18,18"},
        {L"hotimage", L"18,0,36,18"},
        {L"selectedimage", L"36,0,54,18"},
        {L"disabledimage", L"54,0,72,18"},
        {L"disabledselectedimage", L"72,0,90,18"},
    };
    for (const auto& [attribute, source] : cells) checkBox_->SetAttribute(attribute, CheckBoxCell(source));
    busyImage_ = AddChild<VLControl>(boxes, L"width=\"21\" height=\"21\" padding=\"21,31,0,0\" visible=\"false\"",
                                     kRowBusyImage);
    busyImage_->SetNormalImage(ImageOf(kImageBusySpinner) + L" source='0,0,21,21' ");

    VLContainer* logo = AddChild<VLHorizontalLayout>(this, L"width=\"60\"");
    VLControl* image = AddChild<VLControl>(logo, L"width=\"50\" height=\"50\" padding=\"2,16,0,0\"");
    image->SetNormalImage(ImageOf(record_.imageId));

    VLContainer* texts = AddChild<VLVerticalLayout>(this, L"width=\"557\"");
    titleLabel_ = AddChild<VLControl>(
        texts, L"height=\"25\" padding=\"4,23,0,0\" normalfont=\"element title\" normaltextcolor=\"#FF6E6E6E\"");
    sizeLabel_ =
        AddChild<VLControl>(texts, L"normalfont=\"package size\" padding=\"4,2,0,0\" normaltextcolor=\"#FF9B9B9B\"");
    sizeLabel_->SetText(LoadAppString(kStringPackageSize) + FormatPackageSize(kPlaceholderSize));
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

void VLHarrowElement::SetState(RuntimeRowState state)
{
    state_ = state;
    if (state < RuntimeRowState::Unchecked || state > RuntimeRowState::Repairing) return;
    if (state == RuntimeRowState::Unchecked) {
        checkBox_->SetEnabled(false);
        statusLabel_->SetText(std::wstring());
    } else {
        statusLabel_->SetVisible(true);
        statusLabel_->SetText(LoadAppString(StateText(state)));
    }
    const bool eitherShown = checkBox_->IsVisible() || busyImage_->IsVisible();
    const bool showBox = state == RuntimeRowState::Repaired || state == RuntimeRowState::RepairFailed ||
                         (state == RuntimeRowState::Missing && eitherShown);
    if (showBox || state == RuntimeRowState::Repairing) {
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
    SetBkImage(ImageOf(list->GetItemIndex(this) & 1 ? kImageRowStripeOdd : kImageRowStripeEven));
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
