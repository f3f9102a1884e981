// The markup elements of the text entry controls.
#pragma once

namespace Velora {

// Makes "Edit" and "RichEdit" known to every markup builder.
void RegisterTextEntryElements();

} // namespace Velora
