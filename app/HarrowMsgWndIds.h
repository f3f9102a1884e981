// The ids the prompt window and its tests work with: the controls of the
// markup window "HarrowMsgWnd" (resources/HarrowMarkup.xml), its title in the
// string table and its images in resources/AppResources.rc.
#pragma once

#include <windows.h>

namespace Velora {

constexpr int kPromptClose = 101;
constexpr int kPromptOk = 540;

constexpr UINT kStringPromptTitle = 1359;

constexpr int kImagePromptClose = 423;
constexpr int kImagePromptBackground = 539;

} // namespace Velora
