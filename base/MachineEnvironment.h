// The machine's own environment, as the system keeps it, apart from the
// environment this process inherited: a user's own variables (their
// Environment key) reach the latter, so a path taken from it can lead
// wherever the user likes.
#pragma once

#include <string>

namespace Velora {

// The text with %NAME% references expanded from the machine's variables:
// SystemRoot, windir and SystemDrive from the system's Windows folder, any
// other from the machine's environment key. A reference to a name the
// machine does not have, or without its closing '%', is kept as written.
std::wstring ExpandMachineEnvironment(const std::wstring& text);

} // namespace Velora
