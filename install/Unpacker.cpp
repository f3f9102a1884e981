#include "install/Unpacker.h"

#include "base/FileUtil.h"
#include "base/Md5.h"
#include "base/PathUtil.h"

#include <cstring>

namespace Velora {

namespace {

// How an extracted file is held, sharing reading only: a program may be
// started from it and readers may read it; no one else may write, rename or
// delete it.
constexpr DWORD kHeldAccess = GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES;

// Only attribute bits are set: flag bits from a package (delete-on-close,
// overlapped) would lose or break the file.
DWORD FileAttributesOf(const VLTocNode& node)
{
    const DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                           FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    return node.attributes & settable;
}

// The entry's times and the attributes given, through the handle.
bool SetBasicInfo(HANDLE handle, const VLTocNode& node, DWORD attributes)
{
    FILE_BASIC_INFO basic = {};
    basic.CreationTime.QuadPart = LONGLONG(node.creationTime);
    basic.LastAccessTime.QuadPart = LONGLONG(node.accessTime);
    basic.LastWriteTime.QuadPart = LONGLONG(node.writeTime);
    basic.FileAttributes = attributes;
    return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}

// Runs the action when the scope is left, however it is left.
template <typename Action> struct OnExit {
    Action action;
    ~OnExit() { action(); }
};
template <typename Action> OnExit<Action> AtExit(Action action)
{
    return {std::move(action)};
}

// The file's identity and a digest of its bytes from the start.
bool Fingerprint(VLFile& file, VLFileId& identity, uint8_t digest[16])
{
    uint64_t size = 0;
    if (!GetFileId(file.handle.Get(), identity) || !file.GetSize(size)) return false;
    std::memset(digest, 0, 16);
    return size == 0 || Md5File(file, digest);
}

bool IsSolidFile(const VLTocNode& node)
{
    return node.kind == kNodeFile && node.method == kMethodSolid;
}

enum class Decode { Ok, Failed, DrainFailed };

// Pushes one piece of packed input through the converter, handing each
// step's output to drain(bytes, count, input used by the step). A step that
// neither takes input nor makes output, or output beyond what the entry
// declares, is a decode failure: trailing bytes after the end of a stream
// would otherwise keep the loop turning for ever. consumed tells how far the
// piece was used.
template <typename Drain>
Decode DecodePiece(VLCompressConverter& converter, VLCompressProgress* progress, const unsigned char* input,
                   uint32_t size, uint64_t& outputLeft, uint32_t& consumed, Drain&& drain)
{
    consumed = 0;
    while (consumed < size) {
        if (progress) progress->Throttle();
        const bool final = outputLeft <= converter.GetFreeSpace();
        uint32_t used = 0;
        if (!converter.Convert(input + consumed, size - consumed, used, final)) return Decode::Failed;
        consumed += used;
        uint32_t n = 0;
        const unsigned char* output = converter.GetOutput(n);
        if (n > outputLeft || (used == 0 && n == 0)) return Decode::Failed;
        outputLeft -= n;
        if (n && !drain(output, n, used)) return Decode::DrainFailed;
        converter.ClearOutput();
    }
    return Decode::Ok;
}

// After the last input: a decoder may still hold output that its buffer could
// not take, and an encoder flushes in Finish. Anything but exactly the
// declared size is a failure.
template <typename Drain>
Decode DecodeTail(VLCompressConverter& converter, uint64_t& outputLeft, Drain&& drain)
{
    for (bool finishing = false;;) {
        if (!finishing && outputLeft > 0) {
            uint32_t used = 0;
            if (!converter.Convert(nullptr, 0, used, outputLeft <= converter.GetFreeSpace()) ||
                converter.GetOutputSize() == 0)
                return Decode::Failed;
        } else {
            finishing = true;
            if (!converter.Finish()) return Decode::Failed;
        }
        uint32_t n = 0;
        const unsigned char* output = converter.GetOutput(n);
        if (n > outputLeft) return Decode::Failed;
        if (n == 0 && finishing) break;
        outputLeft -= n;
        if (n && !drain(output, n, 0)) return Decode::DrainFailed;
        converter.ClearOutput();
    }
    return outputLeft == 0 ? Decode::Ok : Decode::Failed;
}

} // namespace

VLUnpacker::VLUnpacker(const std::wstring& packagePath)
    : root_(nullptr, kNodeFile), file_(nullptr), packagePath_(packagePath)
{
}

VLUnpacker::VLUnpacker(VLFile* file) : root_(nullptr, kNodeFile), file_(file) {}

VLUnpacker::~VLUnpacker() = default;

bool VLUnpacker::Open()
{
    if (opened_) return false;
    if (file_) return ReadToc(*file_);
    if (packagePath_.empty()) return false;
    ownFile_ = std::make_shared<VLFile>();
    file_ = ownFile_.get();
    if (!file_->Open(packagePath_, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN)) {
        ReportError(kEventPackageFailed, L"", GetLastError());
        return false;
    }
    return ReadToc(*file_);
}

bool VLUnpacker::ReadToc(VLFile& file)
{
    uint64_t size = 0;
    if (!file.GetSize(size)) {
        ReportError(kEventPackageFailed, L"", GetLastError());
        return false;
    }
    unsigned char header[8];
    DWORD got = 0;
    if (!file.Read(header, sizeof(header), &got) || got < sizeof(header)) return false;
    if (std::memcmp(header, "VLZ", 3) != 0) return false;
    formatVersion_ = header[3];
    if (formatVersion_ > 1) {
        ReportEvent(kEventBadPackage, 3, 0);
        return false;
    }
    uint32_t tocLength;
    std::memcpy(&tocLength, header + 4, 4);
    if (tocLength > kMaxTocLength) {
        ReportEvent(kEventBadPackage, 4, 0);
        return false;
    }
    VLBuffer<unsigned char> toc(tocLength);
    // A table of no bytes is a failed read, as reading nothing is.
    if (!file.Read(toc.data, tocLength, &got)) {
        ReportError(kEventPackageFailed, L"", GetLastError());
        return false;
    }
    toc.size = got;
    uint32_t position = 0;
    if (got < tocLength || !root_.Parse(toc, position) || position != tocLength) {
        ReportEvent(kEventBadPackage, 8, 0);
        return false;
    }
    opened_ = true;
    total_ = root_.GetTotalPackedSize();
    return true;
}

bool VLUnpacker::Install(const std::wstring& target)
{
    const bool extracted = Extract(target);
    held_.Clear();
    return extracted;
}

bool VLUnpacker::Extract(const std::wstring& target)
{
    if (progress_) progress_->OnBegin();
    cancelled_ = false;
    if (progress_) progress_->cancelled = false;
    if (FileExists(target)) {
        ReportError(kEventWriteFailed, target, ERROR_ALREADY_EXISTS);
        return false;
    }
    if (!PrepareFolder(target)) {
        ReportError(kEventWriteFailed, target, GetLastError());
        return false;
    }
    targetFolder_ = target;
    if (!opened_) return false;
    if (!ExtractChildren(root_, target)) {
        if (cancelled_ && progress_) progress_->OnEnd(true);
        return false;
    }
    if (progress_) progress_->OnEnd(cancelled_);
    return true;
}

void VLUnpacker::Cancel()
{
    cancelled_ = true;
    if (progress_) {
        progress_->cancelled = true;
        // A paused worker would never see the flag.
        progress_->SetPaused(false);
    }
}

bool VLUnpacker::ExtractChildren(VLTocNode& folder, const std::wstring& path)
{
    for (const auto& child : folder.children) {
        if (cancelled_) break;
        // Only files make up the solid set; a folder's or memory entry's
        // method says nothing about where its content is. Solid files
        // without data are written by the pass over the stream.
        bool ok = true;
        if (!IsSolidFile(*child))
            ok = ExtractNode(*child, path);
        else if (child->packedSize != 0)
            ok = ExtractSolid(*child);
        if (!ok) return false;
    }
    return true;
}

bool VLUnpacker::ExtractNode(VLTocNode& node, const std::wstring& folder)
{
    std::wstring path = folder;
    NormalizePath(path, kPathOneTrailingSeparator);
    std::wstring name = node.name;
    bool skip = false;
    MapEntryPath(node, path, name, skip);
    if (skip) return true;
    // An absolute mapped name stands for the mapped folder itself.
    if (!IsAbsolutePath(name)) path = CombinePath(path, name);
    node.outputPath = path;
    node.name = name;
    if (progress_) progress_->OnEntryBegin(node);

    if (node.kind == kNodeFolder) {
        // A file where the folder goes is refused as one that cannot be made.
        const bool inTheWay = FileExists(path);
        const bool prepared = !inTheWay && PrepareFolder(path);
        const DWORD error = inTheWay ? ERROR_ALREADY_EXISTS : GetLastError();
        if (!prepared && (inTheWay || !OnPathError(error, path))) {
            ReportError(kEventCreateFailed, path, error);
            return false;
        }
        if (prepared) {
            UpdateProgress(node, 0);
            if (!ExtractChildren(node, path) || cancelled_) return false;
            SetFolderAttributes(node);
            AfterEntry(node);
            done_ += node.packedSize;
            if (progress_) progress_->OnEntryEnd(node);
            return true;
        }
        // The folder is skipped with everything in it.
        UpdateProgress(node, 0);
        AfterEntry(node);
        done_ += node.packedSize;
        if (progress_) progress_->OnEntryEnd(node);
        return true;
    }

    UpdateProgress(node, 0);
    if (!SeekTo(node.dataOffset, false)) return false;
    std::shared_ptr<VLCompressConverter> converter = CreateConverter(node.method);
    if (!converter) return false;
    converter->End();
    // Inline data is in the node already; kinds above 3 come from newer
    // writers and are passed over.
    if (node.kind == kNodeFile && !WriteFileEntry(path, node, *converter)) return false;
    if (node.kind == kNodeMemory && !ReadMemoryEntry(node, *converter)) return false;
    AfterEntry(node);
    done_ += node.packedSize;
    if (progress_) progress_->OnEntryEnd(node);
    return true;
}

bool VLUnpacker::SeekTo(uint64_t offset, bool reportQueryFailure)
{
    uint64_t current = 0;
    if (!file_->Seek(0, FILE_CURRENT, &current)) {
        if (reportQueryFailure) ReportError(kEventPackageFailed, L"", GetLastError());
        return false;
    }
    if (current == offset) return true;
    uint64_t moved = 0;
    return offset <= uint64_t(INT64_MAX) && file_->Seek(int64_t(offset), FILE_BEGIN, &moved) && moved == offset;
}

void VLUnpacker::SetFolderAttributes(const VLTocNode& node)
{
    VLPlainFile folder;
    if (folder.Open(node.outputPath, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    OPEN_EXISTING))
        SetBasicInfo(folder.file.handle.Get(), node, node.attributes | FILE_ATTRIBUTE_DIRECTORY);
}

bool VLUnpacker::PrepareFolder(const std::wstring& path)
{
    return PathExists(path) ? IsPlainFolder(path) : CreateFolder(path);
}

void VLUnpacker::HoldPartial(const std::wstring& path, VLPlainFile& file)
{
    if (file.file.handle.Valid()) held_.Hold(path, std::move(file));
}

std::shared_ptr<VLCompressConverter> VLUnpacker::CreateConverter(uint32_t method)
{
    auto found = converters_.find(int(method));
    if (found != converters_.end()) return found->second;
    std::shared_ptr<VLCompressConverter> converter = CreateDecodingConverter(int(method));
    converters_[int(method)] = converter;
    return converter;
}

bool VLUnpacker::MapEntryPath(VLTocNode&, std::wstring&, std::wstring&, bool& skip)
{
    skip = false;
    return true;
}

bool VLUnpacker::CreateFolder(const std::wstring& path)
{
    return CreatePlainFolder(path);
}

bool VLUnpacker::RemoveExistingFile(const std::wstring& path)
{
    return DeletePlainFile(path);
}

void VLUnpacker::UpdateProgress(const VLTocNode& node, uint64_t nodeDone)
{
    if (!progress_) return;
    const double overall = total_ == 0 ? 100.0 : double(done_ + nodeDone) * 100.0 / double(total_);
    const double entry = node.packedSize == 0 ? 100.0 : double(nodeDone) * 100.0 / double(node.packedSize);
    progress_->OnProgress(overall, entry);
    progress_->WaitWhilePaused();
}

bool VLUnpacker::ReportError(uint32_t code, const std::wstring& text, uint32_t detail)
{
    if (!progress_) return false;
    VLUnpackEvent event;
    event.code = code;
    event.value1.text = text.c_str();
    event.value2.number = detail;
    return progress_->OnEvent(&event);
}

void VLUnpacker::ReportEvent(uint32_t code, uint32_t value1, uint32_t value2)
{
    if (!progress_) return;
    VLUnpackEvent event;
    event.code = code;
    event.value1.number = value1;
    event.value2.number = value2;
    progress_->OnEvent(&event);
}

void VLUnpacker::ReportDecodeFailure(uint64_t position)
{
    ReportEvent(kEventDecodeFailed, uint32_t(position), uint32_t(position >> 32));
}

bool VLUnpacker::AskSkip(uint32_t code, DWORD error, const std::wstring& path)
{
    return OnPathError(error, path) || ReportError(code, path, error);
}

VLUnpacker::OpenResult VLUnpacker::OpenOutput(const std::wstring& path, const VLTocNode& node, VLPlainFile& output)
{
    if (FileExists(path) && !RemoveExistingFile(path))
        return AskSkip(kEventDeleteFailed, GetLastError(), path) ? OpenResult::Skip : OpenResult::Stop;
    // Only a new file: whatever holds the name now (a link among them) is
    // not written through.
    if (!output.Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW)) {
        // A folder in the way is refused as opening it as a file would be.
        DWORD error = GetLastError();
        if (DirectoryExists(path)) error = ERROR_ACCESS_DENIED;
        return AskSkip(kEventCreateFailed, error, path) ? OpenResult::Skip : OpenResult::Stop;
    }
    return OpenResult::Opened;
}

bool VLUnpacker::HoldOutput(const std::wstring& path, const VLTocNode& node, VLPlainFile& output)
{
    VLFileId written, held;
    uint8_t writtenDigest[16], heldDigest[16];
    if (!FinishOutput(node, output.file) || !Fingerprint(output.file, written, writtenDigest) ||
        !output.file.Close()) {
        ReportError(kEventWriteFailed, path, GetLastError());
        return false;
    }
    // A program may only be started from a file no one holds for writing,
    // so the writing handle goes before the holding one comes.
    VLPlainFile entry;
    if (!entry.Open(path, kHeldAccess, FILE_SHARE_READ, OPEN_EXISTING)) {
        ReportError(kEventWriteFailed, path, GetLastError());
        return false;
    }
    if (!Fingerprint(entry.file, held, heldDigest) || held != written) {
        ReportError(kEventWriteFailed, path, ERROR_FILE_INVALID);
        return false;
    }
    // The file made here, whatever was done to its bytes meanwhile: a
    // rollback deletes it.
    VLPlainFile& kept = held_.Hold(path, std::move(entry));
    if (std::memcmp(heldDigest, writtenDigest, 16) != 0) {
        ReportError(kEventWriteFailed, path, ERROR_FILE_INVALID);
        return false;
    }
    // Last, as reading the bytes back touches the access time.
    const DWORD attributes = FileAttributesOf(node);
    if (!SetBasicInfo(kept.file.handle.Get(), node,
                      attributes ? attributes : FILE_ATTRIBUTE_NORMAL)) {
        ReportError(kEventWriteFailed, path, GetLastError());
        return false;
    }
    return true;
}

bool VLUnpacker::WriteFileEntry(const std::wstring& path, VLTocNode& node, VLCompressConverter& converter)
{
    VLPlainFile plain;
    VLFile& output = plain.file;
    switch (OpenOutput(path, node, plain)) {
    case OpenResult::Skip: UpdateProgress(node, node.packedSize); return true;
    case OpenResult::Stop: return false;
    case OpenResult::Opened: break;
    }
    const auto holdPartial = AtExit([&] { HoldPartial(path, plain); });
    uint64_t inputLeft = node.packedSize;
    uint64_t outputLeft = node.unpackedSize;
    uint64_t start = 0;
    file_->Seek(0, FILE_CURRENT, &start);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kReadBufferSize]);

    bool writeAnswer = false;
    auto write = [&](const unsigned char* bytes, uint32_t n, uint32_t) {
        DWORD written = 0;
        if (output.Write(bytes, n, &written)) return true;
        writeAnswer = ReportError(kEventWriteFailed, path, GetLastError());
        return false;
    };
    while (inputLeft > 0) {
        const uint32_t want = inputLeft < kReadBufferSize ? uint32_t(inputLeft) : kReadBufferSize;
        DWORD got = 0;
        if (!file_->Read(buffer.get(), want, &got)) return ReportError(kEventPackageFailed, L"", GetLastError());
        inputLeft -= got;
        // The partial file stays, as after any failure.
        if (cancelled_) return false;
        UpdateProgress(node, node.packedSize - inputLeft);
        if (node.method == kMethodStored) {
            if (!write(buffer.get(), got, got)) return writeAnswer;
            continue;
        }
        uint32_t consumed = 0;
        const Decode result = DecodePiece(converter, progress_, buffer.get(), got, outputLeft, consumed, write);
        if (result == Decode::DrainFailed) return writeAnswer;
        if (result == Decode::Failed) {
            ReportDecodeFailure(start + (node.packedSize - inputLeft - got) + consumed);
            return false;
        }
    }
    if (node.method != kMethodStored) {
        const Decode result = DecodeTail(converter, outputLeft, write);
        if (result == Decode::DrainFailed) return writeAnswer;
        if (result == Decode::Failed) {
            ReportDecodeFailure(start + node.packedSize);
            return false;
        }
    }
    return HoldOutput(path, node, plain);
}

bool VLUnpacker::ReadMemoryEntry(VLTocNode& node, VLCompressConverter& converter)
{
    // Both sizes are capped when the table is read.
    VLBuffer<unsigned char>& data = node.data;
    data.size = 0;
    if (node.unpackedSize > data.capacity) data.SetCapacity(uint32_t(node.unpackedSize));
    DWORD got = 0;
    if (node.method == kMethodStored) {
        const DWORD want = DWORD(node.unpackedSize);
        if (want && (!file_->Read(data.data, want, &got) || got != want)) return false;
        data.size = want;
        return true;
    }
    const DWORD packed = DWORD(node.packedSize);
    std::unique_ptr<unsigned char[]> input(new unsigned char[packed ? packed : 1]);
    if (packed && (!file_->Read(input.get(), packed, &got) || got != packed)) return false;
    uint64_t outputLeft = node.unpackedSize;
    uint64_t used = 0;
    auto append = [&](const unsigned char* bytes, uint32_t n, uint32_t stepUsed) {
        std::memcpy(data.data + data.size, bytes, n);
        data.size += n;
        used += stepUsed;
        UpdateProgress(node, used);
        return true;
    };
    uint32_t consumed = 0;
    return DecodePiece(converter, progress_, input.get(), packed, outputLeft, consumed, append) == Decode::Ok &&
           DecodeTail(converter, outputLeft, append) == Decode::Ok;
}

bool VLUnpacker::ExtractSolid(VLTocNode& node)
{
    if (!SeekTo(node.dataOffset, true)) return false;
    std::vector<VLTocNode*> list;
    for (const auto& child : root_.children) {
        if (cancelled_) break;
        if (!CollectSolidFiles(targetFolder_, list, *child)) return false;
    }
    std::shared_ptr<VLCompressConverter> converter = CreateConverter(node.method);
    if (!converter) {
        ReportEvent(kEventDecodeFailed, 0, 0);
        return false;
    }
    converter->End();
    return WriteSolid(list, node.unpackedSize, node.packedSize, *converter);
}

bool VLUnpacker::CollectSolidFiles(const std::wstring& folder, std::vector<VLTocNode*>& list, VLTocNode& node)
{
    // Nodes already extracted keep the paths the hook gave them.
    if (!IsAbsolutePath(node.outputPath)) node.outputPath = CombinePath(folder, node.name);
    if (node.kind != kNodeFolder) {
        if (IsSolidFile(node)) list.push_back(&node);
        return true;
    }
    const std::wstring& path = node.outputPath;
    const bool fileInTheWay = FileExists(path);
    if (fileInTheWay || !PrepareFolder(path)) {
        ReportError(kEventCreateFailed, path, fileInTheWay ? ERROR_ALREADY_EXISTS : GetLastError());
        return false;
    }
    for (const auto& child : node.children) {
        if (cancelled_) break;
        if (!CollectSolidFiles(path, list, *child)) return false;
    }
    if (cancelled_) return false;
    SetFolderAttributes(node);
    return true;
}

bool VLUnpacker::WriteSolid(const std::vector<VLTocNode*>& list, uint64_t outputExpected, uint64_t packedSize,
                            VLCompressConverter& converter)
{
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kReadBufferSize]);
    uint64_t start = 0;
    if (!file_->Seek(0, FILE_CURRENT, &start)) ReportError(kEventPackageFailed, L"", GetLastError());

    // The file being written: its place in the list, what it still needs,
    // and whether its bytes are thrown away because its path was skipped.
    size_t index = 0;
    VLPlainFile plain;
    VLFile& output = plain.file;
    bool open = false;
    bool discard = false;
    uint64_t fileLeft = 0;
    uint64_t given = 0;
    const auto holdPartial = AtExit([&] {
        if (open) HoldPartial(list[index]->outputPath, plain);
    });

    // Files without data get their own length; the carrying file gets what
    // the stream yields beyond the files before it.
    auto lengthOfNext = [&](uint64_t& length) {
        const VLTocNode& node = *list[index];
        if (node.packedSize == 0) {
            length = node.unpackedSize;
            return true;
        }
        length = node.unpackedSize - given;
        return node.unpackedSize >= given;
    };
    auto openNext = [&](uint32_t stepUsed) {
        VLTocNode& node = *list[index];
        uint64_t length = 0;
        if (!lengthOfNext(length)) return false;
        const OpenResult result = OpenOutput(node.outputPath, node, plain);
        if (result == OpenResult::Stop) return false;
        discard = result == OpenResult::Skip;
        open = true;
        fileLeft = length;
        given += length;
        UpdateProgress(node, stepUsed);
        if (progress_) progress_->OnEntryBegin(node);
        return true;
    };
    auto completeFile = [&] {
        VLTocNode& node = *list[index++];
        const bool held = discard || HoldOutput(node.outputPath, node, plain);
        if (!held) HoldPartial(node.outputPath, plain);
        output.handle.Reset();
        open = false;
        discard = false;
        if (!held) return false;
        AfterEntry(node);
        return true;
    };
    auto distribute = [&](const unsigned char* bytes, uint32_t n, uint32_t stepUsed) {
        while (n > 0) {
            if (!open && (index == list.size() || !openNext(stepUsed))) return false;
            const uint32_t k = fileLeft < n ? uint32_t(fileLeft) : n;
            DWORD written = 0;
            if (!discard && k && !output.Write(bytes, k, &written)) {
                ReportError(kEventWriteFailed, list[index]->outputPath, GetLastError());
                return false;
            }
            bytes += k;
            n -= k;
            fileLeft -= k;
            if (fileLeft == 0 && !completeFile()) return false;
        }
        done_ += stepUsed;
        return true;
    };

    uint64_t inputLeft = packedSize;
    uint64_t outputLeft = outputExpected;
    while (inputLeft > 0) {
        const uint32_t want = inputLeft < kReadBufferSize ? uint32_t(inputLeft) : kReadBufferSize;
        DWORD got = 0;
        if (!file_->Read(buffer.get(), want, &got)) {
            ReportError(kEventPackageFailed, L"", GetLastError());
            return false;
        }
        inputLeft -= got;
        if (cancelled_) return false;
        // One stream may carry many megabytes into one file: reporting after
        // each read lets a pause take hold here too.
        if (open) UpdateProgress(*list[index], 0);
        uint32_t consumed = 0;
        const Decode result = DecodePiece(converter, progress_, buffer.get(), got, outputLeft, consumed, distribute);
        if (result == Decode::DrainFailed) return false;
        if (result == Decode::Failed) {
            ReportDecodeFailure(start + (packedSize - inputLeft - got) + consumed);
            return false;
        }
    }
    const Decode result = DecodeTail(converter, outputLeft, distribute);
    if (result == Decode::DrainFailed) return false;
    // Empty files at the end of the set, the carrying file among them, get
    // no output to open them.
    for (uint64_t length = 0; result == Decode::Ok && !open && index < list.size();) {
        if (!lengthOfNext(length) || length != 0) break;
        if (!openNext(0) || !completeFile()) return false;
    }
    // A short stream, or one that leaves listed files without their bytes,
    // is a failure, never a success.
    if (result == Decode::Failed || open || index != list.size()) {
        ReportDecodeFailure(start + packedSize);
        return false;
    }
    return true;
}

} // namespace Velora
