// The installer script "##tasks##.txt": one verb per line with its
// arguments. Programs run with "run" and "runcheck" end the script.
#include "install/SfxInstall.h"

#include "base/ComScope.h"
#include "base/File.h"
#include "base/FileUtil.h"
#include "base/PathUtil.h"
#include "base/PlainFile.h"
#include "base/StringUtil.h"
#include "base/TextConvert.h"
#include "install/IniFile.h"
#include "install/ShellLink.h"

#include <cstring>
#include <exception>
#include <functional>
#include <optional>
#include <vector>

namespace Velora {

namespace {

const wchar_t kBlanks[] = L" \r\t\n";
const uint64_t kMaxTaskFile = 0x100000;

// A malformed ini line. The texts are GBK, as the rest of the system's
// narrow messages.
class VLScriptError : public std::bad_exception {
public:
    explicit VLScriptError(const char* message) : message_(message) {}
    const char* what() const noexcept override { return message_; }

private:
    const char* message_;
};

// "WriteINIStr参数个数错误" and "DeleteINIStr参数个数错误".
const char kWriteIniArguments[] = "WriteINIStr\xB2\xCE\xCA\xFD\xB8\xF6\xCA\xFD\xB4\xED\xCE\xF3";
const char kDeleteIniArguments[] = "DeleteINIStr\xB2\xCE\xCA\xFD\xB8\xF6\xCA\xFD\xB4\xED\xCE\xF3";

// Set only by tests (SetScriptWriteHookForTests).
std::function<void(const std::wstring&)> scriptWriteHook;

std::wstring Unquoted(std::wstring text)
{
    StripQuotes(text);
    return text;
}

int32_t ParseSigned(const std::wstring& text)
{
    if (!text.empty() && text[0] == L'-') return -int32_t(StringToUInt64(text.c_str() + 1));
    return int32_t(StringToUInt64(text.c_str()));
}

// A script path must name a place of its own: a keyword the machine could
// not resolve leaves a relative path or a bare drive, and deleting or
// writing there would hit whatever the current folder or drive holds.
bool IsUsableScriptPath(std::wstring path)
{
    if (!IsAbsolutePath(path)) return false;
    NormalizePath(path, kPathNoTrailingSeparator | kPathBackslashes);
    if (path.size() <= 2) return false;
    if (path[0] == L'\\' && path[1] == L'\\') {
        // "\\server\share" is a root as well.
        const size_t share = path.find(L'\\', 2);
        return share != std::wstring::npos && path.find(L'\\', share + 1) != std::wstring::npos;
    }
    return true;
}

} // namespace

void SetScriptWriteHookForTests(std::function<void(const std::wstring& path)> hook)
{
    scriptWriteHook = std::move(hook);
}

void VLSfxInstall::ReadTaskFile(const std::wstring& path)
{
    VLFile file;
    if (file.Open(path, FILE_GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0)) ReadTaskFile(file);
}

void VLSfxInstall::ReadTaskFile(VLFile& file)
{
    uint64_t size = 0;
    if (!file.SeekToBegin() || !file.GetSize(size) || size == 0 || size > kMaxTaskFile) return;
    std::string bytes(size_t(size), '\0');
    DWORD got = 0;
    if (!file.Read(&bytes[0], DWORD(size), &got)) return;
    bytes.resize(got);

    std::wstring text;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        text.assign((bytes.size() - 2) / 2, L'\0');
        if (!text.empty()) std::memcpy(&text[0], bytes.data() + 2, text.size() * sizeof(wchar_t));
    } else if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
        return;
    } else {
        text = ToWideString(bytes);
    }

    ReplaceChar(text, L'\r', L'\n');
    while (!text.empty()) {
        TrimLeft(text, kBlanks);
        std::wstring line = PopToken(text, L"\n");
        TrimLeft(line, kBlanks);
        TrimRight(line, kBlanks);
        scriptLines_.push_back(line);
    }
}

bool VLSfxInstall::RunTasks()
{
    for (const std::wstring& line : scriptLines_) {
        if (line.empty()) continue;
        std::wstring arguments = line;
        const std::wstring verb = PopToken(arguments, L" ");
        if (verb == L"run") {
            DWORD exitCode = 0;
            if (LaunchProcess(arguments, exitCode)) return true;
            ReportScriptFailure(verb, arguments, GetLastError());
            return false;
        }
        if (verb == L"runcheck") {
            std::wstring commandLine = arguments;
            const uint32_t expected = uint32_t(StringToUInt64(PopToken(commandLine, L" ").c_str()));
            DWORD exitCode = 0;
            if (!LaunchProcess(commandLine, exitCode)) {
                ReportScriptFailure(verb, arguments, GetLastError());
                return false;
            }
            if (exitCode != expected) {
                ReportScriptFailure(verb, arguments, exitCode);
                return false;
            }
            return true;
        }
        if (verb == L"ini" && !RunIniTask(arguments)) return false;
        if (verb == L"CreateShortCut" && !RunShortcutTask(arguments)) return false;
        if (verb == L"DeleteFile" && !RunDeleteTask(arguments)) return false;
    }
    return true;
}

bool VLSfxInstall::ReachScriptPath(const std::wstring& path, uint32_t code)
{
    // Whatever else fails here, the act itself meets and answers as before.
    if (IsPlainPath(path) || GetLastError() != kErrLinkInPath) return true;
    ReportError(code, path, kErrLinkInPath);
    return false;
}

void VLSfxInstall::ReportScriptFailure(const std::wstring& verb, const std::wstring& arguments, DWORD code)
{
    if (!progress_) return;
    VLUnpackEvent event;
    event.code = kEventScriptFailed;
    event.value1.text = verb.c_str();
    event.value2.text = arguments.c_str();
    event.value3 = code;
    progress_->OnEvent(&event);
}

bool VLSfxInstall::LaunchProcess(const std::wstring& commandLine, DWORD& exitCode)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    // CreateProcessW may write into the command line.
    std::wstring expanded = keywords_.Expand(commandLine);
    std::vector<wchar_t> writable(expanded.begin(), expanded.end());
    writable.push_back(L'\0');
    PROCESS_INFORMATION started = {};
    // The program and the programs it starts use the package's files as an
    // ordinary folder; only the program itself stays held until its process
    // exists, so that it runs the bytes extracted. It starts suspended, so
    // that it never meets its own hold.
    held_.LetGoAllBut(expanded);
    const bool created = CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                        nullptr, &startup, &started);
    const DWORD error = GetLastError();
    held_.LetGoAll();
    if (!created) {
        SetLastError(error);
        return false;
    }
    VLHandle process(started.hProcess);
    VLHandle thread(started.hThread);
    // What the program renames around the package's files, so that a
    // rollback can follow a file it renamed and changed. Heard from the
    // folders no package's program deletes: the system's, and the one the
    // install folder is in.
    std::vector<std::wstring> lasting = keywords_.GetSystemFolders();
    lasting.emplace_back();
    GetSystemDir(lasting.back());
    const size_t parent = installFolder_.find_last_of(L"\\/");
    // With its separator: a drive's root is "C:\", "C:" a folder on it.
    if (parent != std::wstring::npos) lasting.push_back(installFolder_.substr(0, parent + 1));
    VLHeldFiles::Watch watch(held_, lasting);
    ResumeThread(thread.Get());

    for (;;) {
        if (WaitForSingleObject(process.Get(), 100) == WAIT_OBJECT_0)
            return GetExitCodeProcess(process.Get(), &exitCode);
        watch.Collect();
        if (!progress_) continue;
        const HANDLE pause = progress_->pauseEvent.handle.Get();
        if (pause && WaitForSingleObject(pause, 0) == WAIT_TIMEOUT) {
            SuspendThread(thread.Get());
            WaitForSingleObject(pause, INFINITE);
            ResumeThread(thread.Get());
        }
        if (cancelled_ || progress_->IsCancelled()) {
            TerminateProcess(process.Get(), 0);
            return false;
        }
    }
}

bool VLSfxInstall::RunIniTask(std::wstring arguments)
{
    TrimLeft(arguments, kBlanks);
    TrimRight(arguments, kBlanks);
    std::vector<std::wstring> tokens;
    SplitCommandLine(arguments, tokens);
    if (tokens.size() < 3) return true;
    const std::wstring& verb = tokens[0];
    const std::wstring file = Unquoted(keywords_.Expand(tokens[1]));
    const std::wstring section = Unquoted(tokens[2]);
    std::wstring key, value;
    if (verb == L"WriteINIStr") {
        if (tokens.size() < 5) throw VLScriptError(kWriteIniArguments);
        key = Unquoted(tokens[3]);
        value = keywords_.Expand(Unquoted(tokens[4]));
    } else if (verb == L"DeleteINIStr") {
        if (tokens.size() < 4) throw VLScriptError(kDeleteIniArguments);
        key = Unquoted(tokens[3]);
    } else if (verb != L"DeleteINISec") {
        return true;
    }
    if (!IsUsableScriptPath(file)) return true;
    if (!ReachScriptPath(file, kEventWriteFailed)) return false;
    const wchar_t* keyText = verb == L"DeleteINISec" ? nullptr : key.c_str();
    const wchar_t* valueText = verb == L"WriteINIStr" ? value.c_str() : nullptr;
    // A delete makes no file, as the system's profile writer makes none.
    return WriteScriptFile(file, valueText ? OPEN_ALWAYS : OPEN_EXISTING,
                           [&](VLFile& handle) { return EditIniFile(handle, section, keyText, valueText); });
}

bool VLSfxInstall::RunShortcutTask(const std::wstring& arguments)
{
    std::vector<std::wstring> tokens;
    SplitCommandLine(arguments, tokens);
    if (tokens.size() < 2) return true;
    const std::wstring link = keywords_.Expand(Unquoted(tokens[0]));
    if (!IsUsableScriptPath(link)) return true;
    VLShortcutInfo info;
    info.target = keywords_.Expand(Unquoted(tokens[1]));
    std::optional<std::wstring> workingFolder;
    auto token = [&](size_t index) -> const std::wstring* { return index < tokens.size() ? &tokens[index] : nullptr; };
    if (auto* text = token(2)) info.arguments = keywords_.Expand(Unquoted(*text));
    if (auto* text = token(3)) info.iconPath = keywords_.Expand(Unquoted(*text));
    if (auto* text = token(4)) info.iconIndex = ParseSigned(Unquoted(*text));
    // Tokens 6 and 7, the show command and the hotkey, have no effect on a link.
    if (auto* text = token(7)) info.description = Unquoted(*text);
    if (auto* text = token(8)) workingFolder = keywords_.Expand(Unquoted(*text));
    VLComInit com;
    std::wstring path, workFolder;
    std::string bytes;
    if (!GetShellLinkPlace(info.target, link, workingFolder, path, workFolder)) return true;
    if (!ReachScriptPath(path, kEventWriteFailed)) return false;
    if (!MakeShellLinkBytes(info.description, info.iconPath, info.target, info.arguments, info.iconIndex, workFolder,
                            bytes))
        return true;
    // A link this package shipped is written anew through its hold; what
    // else holds the name is replaced by a new file, made as extraction makes
    // its files.
    if (!held_.Contains(path)) {
        CreatePlainFolder(path.substr(0, path.find_last_of(L'\\')));
        DeletePlainFile(path);
    }
    return WriteScriptFile(path, CREATE_NEW, [&](VLFile& file) { return file.WriteAll(bytes); });
}

bool VLSfxInstall::WriteScriptFile(const std::wstring& path, DWORD disposition,
                                   const std::function<bool(VLFile&)>& write)
{
    if (scriptWriteHook) scriptWriteHook(path);
    const auto act = [&](VLPlainFile& plain) { return write(plain.file); };
    VLPlainFile plain;
    const bool done = held_.Contains(path)
                          ? held_.Rewrite(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, act)
                          : plain.Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, disposition) && act(plain);
    const DWORD error = GetLastError();
    // Whatever else fails leaves the line undone, as the system's own call
    // would; a link or another name of the file fails the install.
    if (done || (error != kErrLinkInPath && error != ERROR_TOO_MANY_LINKS)) return true;
    ReportError(kEventWriteFailed, path, error);
    return false;
}

bool VLSfxInstall::RunDeleteTask(const std::wstring& arguments)
{
    std::vector<std::wstring> tokens;
    SplitCommandLine(arguments, tokens);
    if (tokens.size() != 1) return true;
    const std::wstring path = keywords_.Expand(Unquoted(tokens[0]));
    if (!IsUsableScriptPath(path)) return true;
    if (!ReachScriptPath(path, kEventDeleteFailed)) return false;
    // The package's own files go through what the install holds of them;
    // the rest, like them, through handles found plain.
    if (DirectoryExists(path)) {
        held_.DeleteBelow(path);
        DeletePlainTree(path);
    } else if (held_.Contains(path)) {
        held_.Delete(path);
    } else {
        DeletePlainFile(path);
    }
    return true;
}

} // namespace Velora
