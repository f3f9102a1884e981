#include "install/ShellLink.h"

#include "base/ComScope.h"
#include "base/FileUtil.h"
#include "base/PathUtil.h"
#include "base/StringUtil.h"

#include <shlobj.h>
#include <windows.h>

namespace Velora {

namespace {

bool HasLinkExtension(const std::wstring& path)
{
    const size_t dot = path.rfind(L'.');
    return dot != std::wstring::npos && CompareNoCase(path.substr(dot), L".lnk") == 0;
}

bool CreateLinkObject(VLComPtr<IShellLinkW>& link, VLComPtr<IPersistFile>& file)
{
    return SUCCEEDED(
               CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Receive())) &&
           SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.Receive()));
}

// A link object with a stream in memory to save it to or load it from.
bool CreateStreamLink(VLComPtr<IShellLinkW>& link, VLComPtr<IPersistStream>& persist, VLComPtr<IStream>& stream)
{
    return SUCCEEDED(
               CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Receive())) &&
           SUCCEEDED(link->QueryInterface(IID_IPersistStream, persist.Receive())) &&
           SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()));
}

// The link's settings as MakeShellLinkBytes gives them.
void Configure(IShellLinkW& link, const std::wstring& description, const std::wstring& iconPath,
               const std::wstring& target, const std::wstring& arguments, int iconIndex, const std::wstring& workFolder)
{
    link.SetPath(target.c_str());
    link.SetWorkingDirectory(workFolder.c_str());
    if (!iconPath.empty())
        link.SetIconLocation(iconPath.c_str(), 0);
    else if (iconIndex >= 0)
        link.SetIconLocation(target.c_str(), iconIndex);
    link.SetArguments(arguments.c_str());
    link.SetDescription(description.c_str());
}

bool ReadFields(IShellLinkW& link, VLShortcutInfo& info)
{
    wchar_t text[1024];
    if (SUCCEEDED(link.GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH))) info.target = text;
    if (SUCCEEDED(link.GetWorkingDirectory(text, MAX_PATH))) info.workingFolder = text;
    if (SUCCEEDED(link.GetArguments(text, 1024))) info.arguments = text;
    if (SUCCEEDED(link.GetDescription(text, 1024))) info.description = text;
    int index = 0;
    if (SUCCEEDED(link.GetIconLocation(text, MAX_PATH, &index))) {
        info.iconPath = text;
        info.iconIndex = index;
    }
    WORD hotkey = 0;
    if (SUCCEEDED(link.GetHotkey(&hotkey))) info.hotkey = hotkey;
    int show = 0;
    if (SUCCEEDED(link.GetShowCmd(&show))) info.showCommand = show;
    return !info.target.empty();
}

} // namespace

bool GetShellLinkPlace(const std::wstring& target, const std::wstring& linkPath,
                       const std::optional<std::wstring>& workingFolder, std::wstring& path, std::wstring& workFolder)
{
    if (target.empty() || linkPath.empty()) return false;
    if (workingFolder) {
        workFolder = *workingFolder;
    } else {
        workFolder = GetFullPathFolder(target);
        if (workFolder.empty()) return false;
    }
    const std::wstring name = GetFullPathFileName(linkPath);
    std::wstring folder = GetFullPathFolder(linkPath);
    if (name.empty() || folder.empty()) return false;
    NormalizePath(folder, kPathNoTrailingSeparator);
    path = folder + L"\\" + name;
    if (!HasLinkExtension(path)) path += L".lnk";
    return true;
}

bool ReadShellLink(VLShortcutInfo& info, const std::wstring& linkPath)
{
    if (!FileExists(linkPath) || CompareNoCase(GetFileExtension(linkPath), L".lnk") != 0) return false;
    VLComPtr<IShellLinkW> link;
    VLComPtr<IPersistFile> file;
    if (!CreateLinkObject(link, file)) return false;
    // Readers are let in beside us: the shell and indexers read a new link
    // as soon as it is written, and a fresh link refused then would leave an
    // install's shortcut unfixed.
    if (FAILED(file->Load(linkPath.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE))) return false;
    return ReadFields(*link.Get(), info);
}

bool MakeShellLinkBytes(const std::wstring& description, const std::wstring& iconPath, const std::wstring& target,
                        const std::wstring& arguments, int iconIndex, const std::wstring& workingFolder,
                        std::string& bytes)
{
    VLComPtr<IShellLinkW> link;
    VLComPtr<IPersistStream> persist;
    VLComPtr<IStream> stream;
    if (!CreateStreamLink(link, persist, stream)) return false;
    Configure(*link.Get(), description, iconPath, target, arguments, iconIndex, workingFolder);
    STATSTG stat = {};
    LARGE_INTEGER start = {};
    if (FAILED(persist->Save(stream.Get(), TRUE)) || FAILED(stream->Stat(&stat, STATFLAG_NONAME)) ||
        FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)))
        return false;
    bytes.assign(size_t(stat.cbSize.QuadPart), '\0');
    ULONG read = 0;
    return bytes.empty() || (SUCCEEDED(stream->Read(&bytes[0], ULONG(bytes.size()), &read)) && read == bytes.size());
}

bool ReadShellLinkBytes(VLShortcutInfo& info, const std::string& bytes)
{
    VLComPtr<IShellLinkW> link;
    VLComPtr<IPersistStream> persist;
    VLComPtr<IStream> stream;
    if (!CreateStreamLink(link, persist, stream)) return false;
    ULONG written = 0;
    LARGE_INTEGER start = {};
    if (FAILED(stream->Write(bytes.data(), ULONG(bytes.size()), &written)) || written != bytes.size() ||
        FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) || FAILED(persist->Load(stream.Get())))
        return false;
    return ReadFields(*link.Get(), info);
}

} // namespace Velora
