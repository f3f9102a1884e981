#include "ui/controls/TextEntryElements.h"

#include "ui/controls/Edit.h"
#include "ui/controls/RichEdit.h"
#include "ui/core/MarkupBuilder.h"

namespace Velora {

void RegisterTextEntryElements()
{
    VLMarkupBuilder::RegisterElement<VLEdit>(L"Edit");
    VLMarkupBuilder::RegisterElement<VLRichEdit>(L"RichEdit");
}

} // namespace Velora
