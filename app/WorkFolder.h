#pragma once

#include <string>

namespace Velora {

// The folder of downloaded packages, the seed list and the companion
// installer: the user's temporary folder + "Zofti\RuntimeCheck", without a
// trailing backslash. Creates nothing; whoever writes there creates it.
std::wstring GetWorkFolder();

// Folder callback of the single-file downloader: every runtime downloads into
// the work folder.
std::wstring DefaultWorkFolderCallback(unsigned int runtimeId);

} // namespace Velora
