// Shell links (".lnk" shortcuts): the bytes of one made from its settings,
// and one read back. The calling thread must have COM initialised.
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

// The file a link made at linkPath is written to (".lnk" added unless the
// name has it), and the working folder it gets: the one given, else the
// target's folder. False where no link can be made.
bool GetShellLinkPlace(const std::wstring& target, const std::wstring& linkPath,
                       const std::optional<std::wstring>& workingFolder, std::wstring& path, std::wstring& workFolder);
// The bytes of a link file with these settings: an icon path takes icon 0 of
// that file; otherwise a non-negative index picks an icon of the target. No
// hotkey or show state is set.
bool MakeShellLinkBytes(const std::wstring& description, const std::wstring& iconPath, const std::wstring& target,
                        const std::wstring& arguments, int iconIndex, const std::wstring& workingFolder,
                        std::string& bytes);
// True when the link was read and names a target. The target comes back as
// stored, not resolved.
bool ReadShellLink(VLShortcutInfo& info, const std::wstring& linkPath);
// From the bytes of a link file.
bool ReadShellLinkBytes(VLShortcutInfo& info, const std::string& bytes);

} // namespace Velora
