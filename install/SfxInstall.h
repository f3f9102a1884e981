// Installs a package: extracts its tree into the install folder (top-level
// ##keyword## folders into the machine's folders), applies the registry data
// it carries, runs its installer script, and leaves the uninstall record
// "VLUnistall.dat" beside the installed files. Every extracted file is held
// until the script starts a program or the install ends (install/HeldFiles.h).
// Whatever fails after the first file was written is undone: created files
// and folders are removed, the files written over come back, and the
// registry is put back.
#pragma once

#include "base/Buffer.h"
#include "install/FolderKeywords.h"
#include "install/RegKey.h"
#include "install/RegTransaction.h"
#include "install/ReplacedFiles.h"
#include "install/Unpacker.h"

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace Velora {

// Only for tests: the hook hears the name a script's ini or shortcut line
// writes once every check by that name is made and before the file is
// opened, so that a test can swap a folder on the way meanwhile. The program
// never sets it.
void SetScriptWriteHookForTests(std::function<void(const std::wstring& path)> hook);

class VLSfxInstall : public VLUnpacker {
public:
    using VLUnpacker::VLUnpacker;

    // Reads the table of contents and the package's meta map "vlmeta".
    bool Open() override;
    // Installs into target, or into the meta value "vlfolder" below it (an
    // absolute "vlfolder" replaces it).
    bool Install(const std::wstring& target) override;
    // Installs over an earlier install whose uninstall record lies in the
    // install folder, and merges that record into the new one.
    bool Reinstall(const std::wstring& target);

    // The meta value with folder keywords expanded. An absent key is added
    // with an empty value, so that the uninstall record lists it.
    std::wstring GetMeta(const std::wstring& key);
    bool HasMeta(const std::wstring& key) const { return meta_.count(key) != 0; }

    const std::wstring& GetInstallFolder() const { return installFolder_; }
    // After a failed install: false when its rollback could not put back
    // everything (a registry key, or a file left under its kept name); the
    // sink has heard of each.
    bool IsRolledBack() const { return rolledBack_; }
    VLFolderKeywords& GetKeywords() { return keywords_; }

    // The uninstall record of the current install.
    bool WriteUninstallRecord(const std::wstring& path);
    // Outputs a version-1 record lacks stay empty. False for a missing file,
    // a wrong magic, version 0, a short or oversized block, or a path item
    // running past its block; throws std::bad_exception for a script or meta
    // block whose counts promise more than it holds.
    static bool ReadUninstallRecord(const std::wstring& path, std::vector<std::wstring>& paths,
                                    VLBuffer<unsigned char>& registryBackup, std::map<std::wstring, std::wstring>& meta,
                                    std::vector<std::wstring>& scriptLines, VLBuffer<unsigned char>& registryText);
    void AppendPathList(const std::vector<std::wstring>& paths);

    // The installer script.
    bool RunTasks();
    void ReadTaskFile(const std::wstring& path);
    // From the start of the open file.
    void ReadTaskFile(VLFile& file);
    // Starts the program hidden and waits for it, following pause and cancel.
    // False when it could not be started (GetLastError tells why) or was
    // cancelled, in which case it is terminated.
    bool LaunchProcess(const std::wstring& commandLine, DWORD& exitCode);
    // False when a name the line acts on passes a link, or names a file it
    // writes that has another name (the sink has heard of it); what else
    // fails is passed over.
    bool RunIniTask(std::wstring arguments);
    bool RunShortcutTask(const std::wstring& arguments);
    bool RunDeleteTask(const std::wstring& arguments);

    const std::vector<std::wstring>& GetScriptLines() const { return scriptLines_; }

protected:
    bool MapEntryPath(VLTocNode& node, std::wstring& folder, std::wstring& name, bool& skip) override;
    bool AfterEntry(VLTocNode& node) override;
    bool FinishOutput(const VLTocNode& node, VLFile& written) override;
    // Records the folder before creating it.
    bool CreateFolder(const std::wstring& path) override;
    // Skips a locked entry inside one of the shell's folders.
    bool OnPathError(DWORD error, const std::wstring& path) override;
    // Keeps the file aside instead of deleting it, so that a failed install
    // can put it back; a file this install extracted goes.
    bool RemoveExistingFile(const std::wstring& path) override;

private:
    // Runs the install after the target is known; throws what a step throws.
    bool InstallInto(const std::wstring& target, bool reinstall);
    void DecodeMeta();
    void LoadMemoryEntry(VLTocNode& node);
    void ExpandRegKeys(VLRegKey& key);
    void TakeRegistryText(VLTocNode& node);
    // A link written with the placeholder of the install folder gets the
    // folder, rewritten through the handle that wrote it.
    bool FixShortcut(VLFile& file);
    void RecordPath(const std::wstring& path);
    // Deletes the extracted files, puts back the files the install wrote
    // over, then removes every folder it made inside the install folder,
    // newest first.
    void Rollback();
    // Undoes the install and tells the sink the end; answers false.
    bool Fail(VLRegTransaction* applied);
    // Fail after an Apply that failed and rolled itself back.
    bool FailApply(const VLRegTransaction& transaction);
    // The registry event: 0x20000001 when a key could not be opened or made,
    // else 0x20000002, with the key and value names and the error code.
    void ReportRegistryError(const VLRegException& error);
    bool MergeEarlierRecord();
    // Writes the record as a new file, the one there before kept aside for
    // a rollback to put back; a record left partial is deleted. False with
    // the reason in GetLastError.
    bool PutUninstallRecord(const std::wstring& path);
    void ReportScriptFailure(const std::wstring& verb, const std::wstring& arguments, DWORD code);
    // A name the script acts on is reached as extraction reaches its files:
    // a keyword folder where the system puts it, and below it no link. False
    // after the event (code, the path, the error) when a link is on the way.
    bool ReachScriptPath(const std::wstring& path, uint32_t code);
    // Writes the file a script line names through a handle found plain
    // (base/PlainFile.h): the package's own file through what the install
    // holds of it, any other opened with the disposition. False after the
    // event when a link or another name of the file is met; any other
    // failure leaves the line undone.
    bool WriteScriptFile(const std::wstring& path, DWORD disposition, const std::function<bool(VLFile&)>& write);
    bool IsCancelled();

    VLFolderKeywords keywords_;
    std::wstring installFolder_;
    // What the applied keys replaced, as a key blob.
    VLBuffer<unsigned char> registryBackup_;
    // Every created folder and file in creation order: items of a 4-byte
    // byte length and the UTF-16LE path, relative inside the install folder.
    VLBuffer<unsigned char> pathList_;
    // The folders this install made, in the order made: only these are the
    // rollback's to remove: a program may have moved a folder of its own to
    // a recorded file's name, and an earlier install's folders hold that
    // install.
    std::vector<std::wstring> madeFolders_;
    // The raw bytes of the package's ".reg" entry.
    VLBuffer<unsigned char> registryText_;
    std::vector<std::wstring> scriptLines_;
    std::deque<VLRegKey> registryKeys_;
    std::map<std::wstring, std::wstring> meta_;
    // Output paths whose entries were skipped: nothing was written there.
    std::set<std::wstring> skipped_;
    // The files that were where the install wrote its own.
    VLReplacedFiles replaced_;
    bool rolledBack_ = true;
};

// True when path names a package this installer can open: a plain file (no
// link, base/PlainFile.h) with a ".vlz" name, the "VLZ" magic and a table of
// contents that reads.
bool IsPackageFile(const std::wstring& path);

// Decodes an installed-path list; false when an item runs past the end.
bool DecodePathList(const VLBuffer<unsigned char>& list, std::vector<std::wstring>& paths);

} // namespace Velora
