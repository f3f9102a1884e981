// The process's environment variables: reloading one from the registry after
// an installer changed it.
#pragma once

#include <string>

namespace Velora {

// Sets the process's variable to the machine-wide value stored in the
// registry; for "Path" the user's own value goes in front. Expandable values
// are expanded first, as the shell does for new programs. An empty name
// reloads every machine-wide variable. False leaves the variable as it was.
bool ReloadEnvironmentVariable(std::wstring name);

} // namespace Velora
