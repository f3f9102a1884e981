// The markup elements of the picture, ActiveX, web browser and advert
// controls. A program whose markup uses them registers them once before it
// builds a window.
#pragma once

namespace Velora {

// "Picture", "ActiveX", "WebBrowser" and "Advert".
void RegisterHostElements();

} // namespace Velora
