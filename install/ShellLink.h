// Shell links (".lnk" shortcuts): creating one from its settings and reading
// one back. The calling thread must have COM initialised.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace Velora {

struct VLShortcutInfo {
    std::wstring target;
    std::wstring arguments;
    std::wstring description;
    uint16_t hotkey = 0;
    std::wstring iconPath;
    int32_t iconIndex = 0;
    int32_t showCommand = 1;
    std::wstring workingFolder;
};

// Writes the link at linkPath, adding ".lnk" unless the name has it, and
// creating its folder when missing; an existing file there is replaced.
// Without a working folder the target's folder is used. An icon path takes
// icon 0 of that file; otherwise a non-negative index picks an icon of the
// target. No hotkey or show state is set.
bool CreateShellLink(const std::wstring& description, const std::wstring& iconPath, const std::wstring& target,
                     const std::wstring& arguments, const std::wstring& linkPath, int iconIndex,
                     const std::optional<std::wstring>& workingFolder);
// The file CreateShellLink writes for linkPath (".lnk" added unless the name
// has it) and the working folder it gives the link; false where it writes
// none.
bool GetShellLinkPlace(const std::wstring& target, const std::wstring& linkPath,
                       const std::optional<std::wstring>& workingFolder, std::wstring& path, std::wstring& workFolder);
// The bytes of the link file CreateShellLink writes for these settings.
bool MakeShellLinkBytes(const std::wstring& description, const std::wstring& iconPath, const std::wstring& target,
                        const std::wstring& arguments, int iconIndex, const std::wstring& workingFolder,
                        std::string& bytes);
// True when the link was read and names a target. The target comes back as
// stored, not resolved.
bool ReadShellLink(VLShortcutInfo& info, const std::wstring& linkPath);
// From the bytes of a link file.
bool ReadShellLinkBytes(VLShortcutInfo& info, const std::string& bytes);

} // namespace Velora
