// The markup element names of the controls beyond the core.
#pragma once

namespace Velora {

// Joins every control of this library to the markup builder; safe to call
// more than once.
void RegisterControlElements();

} // namespace Velora
