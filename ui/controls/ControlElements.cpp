#include "ui/controls/ControlElements.h"

#include "ui/controls/ActiveX.h"
#include "ui/controls/Advert.h"
#include "ui/controls/Combo.h"
#include "ui/controls/ComboElement.h"
#include "ui/controls/DrawWnd.h"
#include "ui/controls/Edit.h"
#include "ui/controls/GridLayout.h"
#include "ui/controls/Menu.h"
#include "ui/controls/MenuElement.h"
#include "ui/controls/Picture.h"
#include "ui/controls/RichEdit.h"
#include "ui/controls/TabCtrl.h"
#include "ui/controls/TabItem.h"
#include "ui/controls/WebBrowser.h"
#include "ui/core/MarkupBuilder.h"

namespace Velora {

void RegisterControlElements()
{
    VLMarkupBuilder::RegisterElement<VLCombo>(L"Combo");
    VLMarkupBuilder::RegisterElement<VLComboElement>(L"ComboElement");
    VLMarkupBuilder::RegisterElement<VLDrawWnd>(L"DrawWnd");
    VLMarkupBuilder::RegisterElement<VLEdit>(L"Edit");
    VLMarkupBuilder::RegisterElement<VLGridLayout>(L"GridLayout");
    VLMarkupBuilder::RegisterElement<VLMenu>(L"Menu");
    VLMarkupBuilder::RegisterElement<VLMenuElement>(L"MenuElement");
    VLMarkupBuilder::RegisterElement<VLRichEdit>(L"RichEdit");
    VLMarkupBuilder::RegisterElement<VLTabCtrl>(L"TabCtrl");
    VLMarkupBuilder::RegisterElement<VLTabItem>(L"TabItem");
    VLMarkupBuilder::RegisterElement<VLPicture>(L"Picture");
    VLMarkupBuilder::RegisterElement<VLActiveX>(L"ActiveX");
    VLMarkupBuilder::RegisterElement<VLWebBrowser>(L"WebBrowser");
    VLMarkupBuilder::RegisterElement<VLAdvert>(L"Advert");
}

} // namespace Velora
