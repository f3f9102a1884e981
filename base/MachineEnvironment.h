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

// The text with %NAME% references expanded from the machine's variables, as
// the system gives them to a new 32-bit process from the machine's own
// settings and never from a user's: SystemRoot, windir and SystemDrive from
// the system's Windows folder; the machine's environment key; ProgramData,
// ALLUSERSPROFILE and PUBLIC; the program and common files folders (ProgramFiles,
// CommonProgramFiles, and on 64-bit Windows their "(x86)" and "W6432" forms);
// PROCESSOR_ARCHITECTURE as a 32-bit process has it; all read in the
// machine's native registry view. A value the system expands (REG_EXPAND_SZ)
// is expanded from the variables it sets before that one, a REG_SZ value is
// taken as written. Names match without regard to case in any script, as the
// system matches them. A name the machine does not have, an empty one ("%%")
// and a '%' without its closing one are kept as written, as the system keeps
// them. The variables are read again only once a key they come from has
// changed; safe to call from several threads.
std::wstring ExpandMachineEnvironment(const std::wstring& text);

} // namespace Velora
