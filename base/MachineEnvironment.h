// The machine's own environment, as the system keeps it, apart from the
// environment this process inherited: a user's own variables (their
// Environment key) reach the latter, so a path taken from it can lead
// wherever the user likes.
#pragma once

#include <string>

namespace Velora {

// Whether this 32-bit process runs on 64-bit Windows. Asked of the system
// once per process; safe to call from several threads.
bool IsWow64();

// The text with %NAME% references expanded from the machine's variables:
// SystemRoot, windir and SystemDrive from the system's Windows folder; the
// program and common files folders (ProgramFiles, CommonProgramFiles and
// their "(x86)" and "W6432" forms) and ProgramData and ALLUSERSPROFILE from
// the machine keys the system sets them from, as it sets them for a 32-bit
// process (the "(x86)" and "W6432" forms on 64-bit Windows only); any other
// from the machine's environment key. A reference to a name the machine does
// not have, or without its closing '%', is kept as written.
std::wstring ExpandMachineEnvironment(const std::wstring& text);

} // namespace Velora
