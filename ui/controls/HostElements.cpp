#include "ui/controls/HostElements.h"

#include "ui/controls/ActiveX.h"
#include "ui/controls/Advert.h"
#include "ui/controls/Picture.h"
#include "ui/controls/WebBrowser.h"

#include "ui/core/MarkupBuilder.h"

namespace Velora {

void RegisterHostElements()
{
    VLMarkupBuilder::RegisterElement<VLPicture>(L"Picture");
    VLMarkupBuilder::RegisterElement<VLActiveX>(L"ActiveX");
    VLMarkupBuilder::RegisterElement<VLWebBrowser>(L"WebBrowser");
    VLMarkupBuilder::RegisterElement<VLAdvert>(L"Advert");
}

} // namespace Velora
