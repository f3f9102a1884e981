#include "install/SfxInstall.h"

#include "base/ComScope.h"
#include "base/FileUtil.h"
#include "base/PathUtil.h"
#include "base/PlainFile.h"
#include "base/StringUtil.h"
#include "install/RegParser.h"
#include "install/RegTextWriter.h"
#include "install/ShellLink.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace Velora {

namespace {

const wchar_t kMetaEntry[] = L"vlmeta";
const wchar_t kRegBlobEntry[] = L"##reg##.bin";
const wchar_t kRegTextEntry[] = L"##reg##.reg";
const wchar_t kTasksEntry[] = L"##tasks##.txt";
const wchar_t kUninstallRecordName[] = L"VLUnistall.dat";
// Where a package's shortcuts point before the install folder is known.
const wchar_t kInstallPlaceholder[] = L"Z:\\##install##";

// Folders where the shell or a running program may hold files open: a
// locked entry there is skipped instead of failing the install.
const wchar_t* const kShellFolderKeywords[] = {
    L"windows",    L"fonts",       L"cookies",          L"all_users",   L"all_appdata",   L"all_programs_menu",
    L"all_docs",   L"all_desktop", L"all_menu",         L"all_startup", L"all_favorites", L"my_user",
    L"my_desktop", L"my_menu",     L"my_programs_menu", L"my_startup",
};

bool IsDataEntry(const VLTocNode& node)
{
    return node.kind == kNodeMemory || node.kind == kNodeInline;
}

bool IsFileOrData(const VLTocNode& node)
{
    return node.kind == kNodeFile || IsDataEntry(node);
}

// A prefix test that stops at a path boundary: "C:\App" holds "C:\App\x"
// but not "C:\AppData".
bool IsInsideFolder(const std::wstring& path, const std::wstring& folder, bool ignoreCase)
{
    if (folder.empty()) return false;
    if (!(ignoreCase ? StartsWithNoCase(path, folder) : StartsWith(path, folder))) return false;
    if (path.size() == folder.size()) return true;
    const wchar_t next = path[folder.size()];
    return next == L'\\' || next == L'/' || folder.back() == L'\\';
}

void AppendPathItem(VLBuffer<unsigned char>& list, const std::wstring& path)
{
    const uint32_t bytes = uint32_t(path.size() * sizeof(wchar_t));
    const uint32_t item = 4 + bytes;
    if (list.capacity - list.size < item) list.SetCapacity(list.capacity + std::max<uint32_t>(item, 4096));
    std::memcpy(list.data + list.size, &bytes, 4);
    std::memcpy(list.data + list.size + 4, path.data(), bytes);
    list.size += item;
}

} // namespace

bool IsPackageFile(const std::wstring& path)
{
    const std::wstring extension = GetFileExtension(path);
    if (extension.empty() || CompareNoCase(extension, L".vlz") != 0) return false;
    VLPlainFile plain;
    VLFile& file = plain.file;
    if (!plain.Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING)) return false;
    char magic[3];
    DWORD got = 0;
    if (!file.Read(magic, sizeof(magic), &got) || got != sizeof(magic) || std::memcmp(magic, "VLZ", 3) != 0)
        return false;
    if (!file.SeekToBegin()) return false;
    VLSfxInstall trial(&file);
    return trial.Open();
}

bool DecodePathList(const VLBuffer<unsigned char>& list, std::vector<std::wstring>& paths)
{
    uint32_t offset = 0;
    while (offset < list.size) {
        uint32_t bytes = 0;
        if (list.size - offset < 4) return false;
        std::memcpy(&bytes, list.data + offset, 4);
        offset += 4;
        if (bytes > list.size - offset) return false;
        std::wstring path(bytes / sizeof(wchar_t), L'\0');
        std::memcpy(&path[0], list.data + offset, path.size() * sizeof(wchar_t));
        paths.push_back(std::move(path));
        offset += bytes;
    }
    return true;
}

bool VLSfxInstall::Open()
{
    if (!VLUnpacker::Open()) return false;
    try {
        DecodeMeta();
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void VLSfxInstall::DecodeMeta()
{
    for (const auto& child : root_.children) {
        if (child->name != kMetaEntry || !IsDataEntry(*child)) continue;
        // A memory entry is otherwise read only when extraction reaches it.
        if (child->kind == kNodeMemory && child->data.size != child->unpackedSize) LoadMemoryEntry(*child);
        VLBufferReader reader{child->data.data, child->data.size, 0};
        for (auto& entry : reader.ReadStringMap()) meta_.insert(entry);
    }
}

void VLSfxInstall::LoadMemoryEntry(VLTocNode& node)
{
    // Quietly: the sink hears of the entry when extraction comes to it, and
    // progress must not run ahead of that.
    VLCompressProgress* const sink = progress_;
    progress_ = nullptr;
    std::shared_ptr<VLCompressConverter> converter = CreateConverter(node.method);
    bool loaded = converter && SeekTo(node.dataOffset, false);
    if (loaded) {
        converter->End();
        loaded = ReadMemoryEntry(node, *converter);
    }
    progress_ = sink;
    if (!loaded) throw std::bad_exception();
}

std::wstring VLSfxInstall::GetMeta(const std::wstring& key)
{
    return keywords_.Expand(meta_[key]);
}

bool VLSfxInstall::Install(const std::wstring& target)
{
    return InstallInto(target, false);
}

bool VLSfxInstall::Reinstall(const std::wstring& target)
{
    return InstallInto(target, true);
}

bool VLSfxInstall::InstallInto(const std::wstring& target, bool reinstall)
{
    // The system's folders where the system gives them, for the whole install.
    const VLSystemFolders systemFolders(keywords_.GetSystemFolders());
    std::wstring folder = target;
    if (folder.size() > 1 && folder.back() == L'\\') folder.pop_back();
    VLRegTransaction transaction;
    bool applied = false;
    try {
        DecodeMeta();
        const std::wstring subfolder = GetMeta(L"vlfolder");
        if (!subfolder.empty()) folder = CombinePath(folder, subfolder);
        installFolder_ = folder;
        keywords_.SetPath(L"install", folder);

        if (!Extract(folder)) return Fail(nullptr);
        // A cancel between two entries still ends extraction well; a partial
        // tree gets neither the registry data nor the script.
        if (IsCancelled()) return Fail(nullptr);

        if (reinstall) {
            if (!RunTasks()) return Fail(nullptr);
            applied = true;
            if (!transaction.Apply(registryKeys_)) return FailApply(transaction);
        } else {
            applied = true;
            if (!transaction.Apply(registryKeys_)) {
                ReportRegistryError(transaction.GetLastError());
                return FailApply(transaction);
            }
            if (IsCancelled() || !RunTasks()) return Fail(&transaction);
        }

        SerializeRegKeys(transaction.backups, registryBackup_);
        if (reinstall && !MergeEarlierRecord()) return Fail(&transaction);
        // A record that cannot be written fails the install: a later
        // reinstall or removal would not know what this one made.
        const std::wstring record = CombinePath(installFolder_, kUninstallRecordName);
        if (!PutUninstallRecord(record)) {
            ReportError(kEventWriteFailed, record, GetLastError());
            return Fail(&transaction);
        }
        replaced_.Discard();
        held_.Clear();
        return true;
    } catch (const std::exception&) {
        return Fail(applied ? &transaction : nullptr);
    }
}

bool VLSfxInstall::FailApply(const VLRegTransaction& transaction)
{
    // Apply has put back what it changed, as far as it could.
    if (!transaction.IsRolledBack()) {
        rolledBack_ = false;
        ReportRegistryError(transaction.GetRollbackError());
    }
    return Fail(nullptr);
}

void VLSfxInstall::ReportRegistryError(const VLRegException& error)
{
    if (!progress_) return;
    VLUnpackEvent event;
    event.code = error.openFailed ? kEventRegistryKeyFailed : kEventRegistryValueFailed;
    event.value1.text = error.keyName.c_str();
    event.value2.text = error.valueName.c_str();
    event.value3 = error.extra;
    event.value4 = error.errorCode;
    progress_->OnEvent(&event);
}

bool VLSfxInstall::Fail(VLRegTransaction* applied)
{
    // In the reverse order of the install: the registry, then the files.
    // What the registry rollback could not put back is reported as the
    // failed apply is.
    if (applied && !applied->Rollback()) {
        rolledBack_ = false;
        ReportRegistryError(applied->GetRollbackError());
    }
    Rollback();
    if (progress_) progress_->OnEnd(cancelled_);
    return false;
}

bool VLSfxInstall::MergeEarlierRecord()
{
    std::vector<std::wstring> paths;
    VLBuffer<unsigned char> backup;
    std::map<std::wstring, std::wstring> meta;
    std::vector<std::wstring> lines;
    VLBuffer<unsigned char> text;
    if (!ReadUninstallRecord(CombinePath(installFolder_, kUninstallRecordName), paths, backup, meta, lines, text))
        return false;
    AppendPathList(paths);
    MergeRegBackups(registryBackup_, backup);
    scriptLines_.insert(scriptLines_.end(), lines.begin(), lines.end());
    MergeRegText(text, registryText_);
    for (const auto& entry : meta) {
        if (!entry.second.empty()) meta_[entry.first] = entry.second;
    }
    return true;
}

bool VLSfxInstall::IsCancelled()
{
    return cancelled_ || (progress_ && progress_->IsCancelled());
}

bool VLSfxInstall::MapEntryPath(VLTocNode& node, std::wstring& folder, std::wstring& name, bool& skip)
{
    skip = false;
    node.outputPath = CombinePath(folder, name);
    if (node.parent != &root_) return true;
    if (name.size() < 5 || !StartsWith(name, L"##") || name.compare(name.size() - 2, 2, L"##") != 0) return true;
    const std::wstring keyword = name.substr(2, name.size() - 4);
    if (!keywords_.Contains(keyword)) return true;
    const std::wstring path = keywords_.GetPath(keyword);
    if (path.empty()) return true;
    // Joined again by the reader, folder and name give the keyword's folder.
    folder = GetParentPath(path);
    name = GetFileName(path);
    node.outputPath = folder;
    return true;
}

bool VLSfxInstall::AfterEntry(VLTocNode& node)
{
    if (progress_) progress_->OnEntryEnd(node);
    // Nothing was written for a skipped entry: there is nothing to read,
    // fix or remove later.
    if (skipped_.count(node.outputPath)) return true;

    if (node.name == kRegBlobEntry && IsDataEntry(node)) {
        VLRegKeyList keys;
        if (!DeserializeRegKeys(node.data, keys)) throw std::runtime_error("Bad registry data");
        for (VLRegKey& key : keys) {
            ExpandRegKeys(key);
            registryKeys_.push_back(key);
        }
    } else if (node.name == kRegTextEntry && IsFileOrData(node)) {
        TakeRegistryText(node);
        return true;
    } else if (node.name == kTasksEntry && IsFileOrData(node)) {
        if (IsDataEntry(node)) {
            VLBufferReader reader{node.data.data, node.data.size, 0};
            const std::vector<std::wstring> lines = reader.ReadStrings();
            scriptLines_.insert(scriptLines_.end(), lines.begin(), lines.end());
            return true;
        }
        // Recorded below like every file entry: readers of the uninstall
        // record expect each extracted file in it.
        if (VLPlainFile* held = held_.Find(node.outputPath)) ReadTaskFile(held->file);
        held_.Delete(node.outputPath);
    }
    if (node.kind != kNodeFile) return true;
    RecordPath(node.outputPath);
    return true;
}

void VLSfxInstall::TakeRegistryText(VLTocNode& node)
{
    if (IsDataEntry(node)) {
        registryText_.Assign(node.data);
    } else {
        VLPlainFile* held = held_.Find(node.outputPath);
        if (!held || !ReadWholeFile(held->file, registryText_)) throw std::runtime_error("Load file failed");
        // Gone before it is parsed, so that a bad text leaves no file behind.
        held_.Delete(node.outputPath);
    }
    VLRegParser parser;
    parser.Parse(registryText_);
    for (VLRegKey& key : parser.keys) {
        ExpandRegKeys(key);
        registryKeys_.push_back(key);
    }
}

void VLSfxInstall::ExpandRegKeys(VLRegKey& key)
{
    key.path = keywords_.Expand(key.path);
    for (VLRegValue& value : key.values) {
        value.name = keywords_.Expand(value.name);
        if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
            value.text = keywords_.Expand(value.text);
            value.type = REG_SZ;
        }
    }
    for (VLRegKey& subkey : key.subkeys) ExpandRegKeys(subkey);
}

bool VLSfxInstall::FinishOutput(const VLTocNode& node, VLFile& written)
{
    return CompareNoCase(GetFileExtension(node.name), L".lnk") != 0 || FixShortcut(written);
}

bool VLSfxInstall::FixShortcut(VLFile& file)
{
    VLComInit com;
    VLBuffer<unsigned char> bytes;
    VLShortcutInfo info;
    if (!ReadWholeFile(file, bytes) ||
        !ReadShellLinkBytes(info, std::string(reinterpret_cast<const char*>(bytes.data), bytes.size)))
        return true;
    bool changed = false;
    for (std::wstring* text : {&info.target, &info.workingFolder, &info.iconPath}) {
        if (!StartsWith(*text, kInstallPlaceholder)) continue;
        ReplaceAll(*text, kInstallPlaceholder, installFolder_.c_str());
        changed = true;
    }
    std::string fixed;
    if (!changed || !MakeShellLinkBytes(info.description, info.iconPath, info.target, info.arguments, info.iconIndex,
                                        info.workingFolder, fixed))
        return true;
    return file.WriteAll(fixed);
}

bool VLSfxInstall::CreateFolder(const std::wstring& path)
{
    RecordPath(path);
    // Only what this install made is its rollback's to remove.
    if (!CreatePlainFolder(path)) return false;
    madeFolders_.push_back(path);
    return true;
}

bool VLSfxInstall::RemoveExistingFile(const std::wstring& path)
{
    // An entry of a name the package wrote before takes its place; one whose
    // name is only the short name of another file the package wrote is not
    // that file, and meets it as held, as any other name would.
    if (held_.Contains(path) && EndsInLongNames(path, GetFullPathFileName(path))) return held_.Delete(path);
    return replaced_.Keep(path);
}

bool VLSfxInstall::OnPathError(DWORD error, const std::wstring& path)
{
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return false;
    for (const wchar_t* keyword : kShellFolderKeywords) {
        if (StartsWith(path, keywords_.GetPath(keyword))) {
            skipped_.insert(path);
            return true;
        }
    }
    return false;
}

void VLSfxInstall::RecordPath(const std::wstring& path)
{
    std::wstring recorded = path;
    if (IsInsideFolder(path, installFolder_, true)) {
        recorded.erase(0, installFolder_.size());
        if (!recorded.empty() && (recorded[0] == L'\\' || recorded[0] == L'/')) recorded.erase(0, 1);
    }
    AppendPathItem(pathList_, recorded);
}

void VLSfxInstall::AppendPathList(const std::vector<std::wstring>& paths)
{
    for (const std::wstring& path : paths) AppendPathItem(pathList_, path);
}

void VLSfxInstall::Rollback()
{
    // Each file through the handle that holds it or, once let go for the
    // script's program, where its name still leads plainly to the same
    // file: what the install wrote, never what a name leads to now.
    held_.DeleteAll([this](const std::wstring& path, DWORD error) {
        rolledBack_ = false;
        ReportError(kEventDeleteFailed, path, error);
    });
    // While every folder they were kept in still stands. A file that stays
    // under its kept name is reported by that name, as the user finds it,
    // and by the name it had.
    if (!replaced_.PutBack([this](const std::wstring& aside, const std::wstring& original, DWORD error) {
            ReportKeptCopy(progress_, kEventPutBackFailed, aside, original, error);
        }))
        rolledBack_ = false;
    for (auto made = madeFolders_.rbegin(); made != madeFolders_.rend(); ++made) {
        std::wstring path = *made;
        NormalizePath(path, kPathNoTrailingSeparator);
        // Files went above; a folder is removed through its path as given,
        // never where a link on it leads.
        if (IsInsideFolder(path, installFolder_, false)) DeletePlainTree(path);
    }
    // Last, so that what went with a folder the rollback removed is not
    // taken for left.
    held_.ReportLeft([this](const std::wstring& path, const std::wstring& original, DWORD error) {
        rolledBack_ = false;
        if (original.empty())
            ReportError(kEventDeleteFailed, path, error);
        else
            ReportKeptCopy(progress_, kEventDeleteFailed, path, original, error);
    });
}

} // namespace Velora
