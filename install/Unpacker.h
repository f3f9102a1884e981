// Opens a package, reads its table of contents and extracts the tree into a
// folder: folders are created, files decoded onto disk, memory entries into
// their node. Progress and failures go to a VLCompressProgress; the hooks let
// the installing subclass map paths, treat each entry and decide about paths
// that cannot be written.
#pragma once

#include "base/File.h"
#include "base/PlainFile.h"
#include "install/CompressConverter.h"
#include "install/CompressProgress.h"
#include "install/HeldFiles.h"
#include "install/TocNode.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Velora {

class VLUnpacker {
public:
    static constexpr uint32_t kMaxTocLength = 0x3200000;
    // Entry data streams through one buffer of this size.
    static constexpr uint32_t kReadBufferSize = 524288;

    explicit VLUnpacker(const std::wstring& packagePath);
    // Over a file the caller opened at the package header and keeps alive.
    explicit VLUnpacker(VLFile* file);
    virtual ~VLUnpacker();
    VLUnpacker(const VLUnpacker&) = delete;
    VLUnpacker& operator=(const VLUnpacker&) = delete;

    // Opens the package (when given a path) and reads its table of contents;
    // succeeds once.
    virtual bool Open();
    // Extracts the whole tree into target. A cancel noticed between two
    // entries still answers true (the sink hears OnEnd(true)). The files are
    // let go at the end.
    virtual bool Install(const std::wstring& target);
    // From any thread. Also releases a paused extraction so that it can end.
    virtual void Cancel();

    // Not owned; assign before Open.
    void SetProgress(VLCompressProgress* progress) { progress_ = progress; }
    bool IsOpened() const { return opened_; }
    uint8_t GetFormatVersion() const { return formatVersion_; }
    VLTocNode& GetRoot() { return root_; }
    uint64_t GetTotal() const { return total_; }
    uint64_t GetDone() const { return done_; }

protected:
    virtual bool ExtractNode(VLTocNode& node, const std::wstring& folder);
    virtual bool ReadToc(VLFile& file);
    virtual std::shared_ptr<VLCompressConverter> CreateConverter(uint32_t method);
    // Extracts every file of the solid set from the stream the node carries.
    virtual bool ExtractSolid(VLTocNode& node);
    // May change the folder and name an entry goes to; an absolute name then
    // stands for the folder itself. skip leaves the entry out.
    virtual bool MapEntryPath(VLTocNode& node, std::wstring& folder, std::wstring& name, bool& skip);
    virtual void UpdateProgress(const VLTocNode& node, uint64_t nodeDone);
    virtual bool AfterEntry(VLTocNode& node) { return true; }
    // The file just written, still open for reading and writing through the
    // handle that made it, before it is held: a last change to its bytes is
    // made there. False fails the entry.
    virtual bool FinishOutput(const VLTocNode& node, VLFile& written) { return true; }
    // Makes the folder plain (base/PlainFile.h): nothing is made through a link.
    virtual bool CreateFolder(const std::wstring& path);
    // Clears the way for an output file where a file exists: the base deletes
    // the plain file, read-only or not. False with the reason in GetLastError.
    virtual bool RemoveExistingFile(const std::wstring& path);
    // True skips the entry whose path failed; the base skips nothing that
    // really failed.
    virtual bool OnPathError(DWORD error, const std::wstring& path) { return error == 0; }
    // Sends an event whose value 1 is a text; answers the sink (false without one).
    virtual bool ReportError(uint32_t code, const std::wstring& text, uint32_t detail);
    virtual void ReportEvent(uint32_t code, uint32_t value1, uint32_t value2);

    // Extracts as Install does, but every extracted file stays in held_
    // (install/HeldFiles.h) until the caller lets it go.
    bool Extract(const std::wstring& target);

    bool CollectSolidFiles(const std::wstring& folder, std::vector<VLTocNode*>& list, VLTocNode& node);
    bool WriteFileEntry(const std::wstring& path, VLTocNode& node, VLCompressConverter& converter);
    bool WriteSolid(const std::vector<VLTocNode*>& list, uint64_t outputExpected, uint64_t packedSize,
                    VLCompressConverter& converter);
    // Reads a memory entry's content into its node from where the file
    // stands; the caller has positioned the file and reset the converter.
    bool ReadMemoryEntry(VLTocNode& node, VLCompressConverter& converter);
    bool SeekTo(uint64_t offset, bool reportQueryFailure);

    VLTocNode root_;
    uint8_t formatVersion_ = 1;
    std::shared_ptr<VLFile> ownFile_;
    VLFile* file_;
    std::wstring packagePath_;
    std::wstring targetFolder_;
    bool opened_ = false;
    std::map<int, std::shared_ptr<VLCompressConverter>> converters_;
    std::atomic<bool> cancelled_{false};
    VLCompressProgress* progress_ = nullptr;
    uint64_t total_ = 0;
    uint64_t done_ = 0;
    // Every file extracted, held from the moment its bytes were checked.
    VLHeldFiles held_;

private:
    enum class OpenResult { Opened, Skip, Stop };
    // Clears the way for an output file and creates it, asking the hook and
    // the sink about failures.
    OpenResult OpenOutput(const std::wstring& path, const VLTocNode& node, VLPlainFile& output);
    // Holds the written file by a handle that shares reading only, and gives
    // it the entry's times and attributes. The name is opened anew for that:
    // the file must be the one written, with the bytes written.
    bool HoldOutput(const std::wstring& path, const VLTocNode& node, VLPlainFile& output);
    // A file left partial by a failure, so that a rollback can delete it.
    void HoldPartial(const std::wstring& path, VLPlainFile& file);
    // Whether the folder is there and plain, made when missing.
    bool PrepareFolder(const std::wstring& path);
    bool AskSkip(uint32_t code, DWORD error, const std::wstring& path);
    bool ExtractChildren(VLTocNode& folder, const std::wstring& path);
    void SetFolderAttributes(const VLTocNode& node);
    void ReportDecodeFailure(uint64_t position);
};

} // namespace Velora
