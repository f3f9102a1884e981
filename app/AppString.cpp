#include "app/AppString.h"

#include "ui/core/UIResources.h"

namespace Velora {

std::wstring LoadAppString(UINT id)
{
    return VLUIResources::Instance()->LoadString(id);
}

} // namespace Velora
