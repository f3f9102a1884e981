// Evidence of installed runtimes, put where the detectors look (the real
// registry keys and system folders of the test prefix) and taken away again:
// every key, value, folder and file a fixture creates or replaces is recorded
// and restored when it goes out of scope.
#pragma once

#include "tests/support/TestFolder.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

// Path of a fake library built for the tests ("mfc100-325" → ...\mfc100-325.dll).
std::wstring FakeDll(const std::wstring& name);
std::wstring SystemDir(); // the 32-bit system folder (SysWOW64 on 64-bit Windows)
std::wstring WindowsDir();
bool OnWow64();

// The bytes of a test library (by default one with both a version resource
// and an export), to be changed in place.
struct Library {
    explicit Library(const std::wstring& fake = L"physxloader") : bytes(Velora::Test::ReadFileBytes(FakeDll(fake))) {}
    std::string bytes;
    template <typename T> T& At(size_t offset) { return *reinterpret_cast<T*>(&bytes.at(offset)); }
    // The file offset of an address (or of a directory's), through the section that holds it.
    size_t Offset(DWORD rva, int directory = -1)
    {
        auto& nt = At<IMAGE_NT_HEADERS32>(At<IMAGE_DOS_HEADER>(0).e_lfanew);
        if (directory >= 0) rva = nt.OptionalHeader.DataDirectory[directory].VirtualAddress;
        const IMAGE_SECTION_HEADER* s = IMAGE_FIRST_SECTION(&nt);
        for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i, ++s)
            if (rva - s->VirtualAddress < s->SizeOfRawData) return rva - s->VirtualAddress + s->PointerToRawData;
        return 0;
    }
    DWORD& Table(DWORD rva) { return At<DWORD>(Offset(rva)); }
    // The version resource's data entry: type 16, its first name and language.
    IMAGE_RESOURCE_DATA_ENTRY& Version()
    {
        const size_t root = Offset(0, IMAGE_DIRECTORY_ENTRY_RESOURCE);
        size_t at = root;
        for (int level = 0; level < 3; ++level) {
            auto* entry = &At<IMAGE_RESOURCE_DIRECTORY_ENTRY>(at + sizeof(IMAGE_RESOURCE_DIRECTORY));
            while (level == 0 && entry->Name != 16) ++entry;
            at = root + (entry->OffsetToData & 0x7FFFFFFF);
        }
        return At<IMAGE_RESOURCE_DATA_ENTRY>(at);
    }
    IMAGE_EXPORT_DIRECTORY& Exports() { return At<IMAGE_EXPORT_DIRECTORY>(Offset(0, IMAGE_DIRECTORY_ENTRY_EXPORT)); }
    IMAGE_NT_HEADERS32& Nt() { return At<IMAGE_NT_HEADERS32>(At<IMAGE_DOS_HEADER>(0).e_lfanew); }
    IMAGE_SECTION_HEADER& Section(size_t index) { return IMAGE_FIRST_SECTION(&Nt())[index]; }
    IMAGE_SECTION_HEADER& Resources()
    {
        const DWORD rva = Nt().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
        for (size_t i = 0;; ++i)
            if (rva - Section(i).VirtualAddress < Section(i).SizeOfRawData) return Section(i);
    }
    std::string RawResources() { return bytes.substr(Resources().PointerToRawData, Resources().SizeOfRawData); }
    Library& Damaged() // the version block 1 MiB long, far past the file
    {
        Version().Size = 0x100000;
        return *this;
    }
    void Pad() { bytes.resize((bytes.size() + 511) & ~size_t(511)); }
    DWORD NextAddress() { return (Nt().OptionalHeader.SizeOfImage + 0xFFF) & ~0xFFFu; }
    // Data as a new section after the others (or at the address given), its raw data at the file's end.
    DWORD AddSection(std::string data, DWORD at = 0)
    {
        const DWORD address = at ? at : NextAddress(), size = DWORD(data.size() + 511) & ~511u;
        Pad();
        const DWORD raw = DWORD(bytes.size()), flags = IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ;
        Section(Nt().FileHeader.NumberOfSections++) = {{'.', 'v', 'l'}, {size}, address, size, raw, 0, 0, 0, 0, flags};
        if (!at) Nt().OptionalHeader.SizeOfImage = address + ((size + 0xFFF) & ~0xFFFu);
        bytes += data;
        Pad();
        return address;
    }
    // A new resource tree of two types, first (its version block damaged) and 16.
    void Types(DWORD first)
    {
        const DWORD to = NextAddress() + 160, dir = 0x80000000, one = 1 << 16; // one: a directory of one id
        const DWORD tree[40] = {0, 0,   0,     2 << 16, first, dir | 32,       16, dir | 96, // the root
                                0, 0,   0,     one,     1,     dir | 56,       0,  0,        // type first, its name 1
                                0, one, 0x409, 80,      to,    0x100000,       0,  0,        // language, data entry
                                0, 0,   0,     one,     1,     dir | 120,      0,  0,        // type 16
                                0, one, 0x409, 144,     to,    Version().Size, 0,  0};
        const std::string block = bytes.substr(Offset(Version().OffsetToData), Version().Size);
        const DWORD at = AddSection(std::string(reinterpret_cast<const char*>(tree), sizeof(tree)) + block);
        Nt().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE] = {at, 160};
    }
    // count export names, all one text of length letters, in a new section (the last of sections, when given).
    void Names(DWORD count, size_t length, size_t sections = 0)
    {
        if (sections) { // the table moves past the data, so that the entries added hold nothing
            const size_t table = reinterpret_cast<char*>(&Section(0)) - &bytes[0], entry = sizeof(IMAGE_SECTION_HEADER);
            const std::string kept = bytes.substr(table, Nt().FileHeader.NumberOfSections * entry);
            Pad();
            Nt().FileHeader.SizeOfOptionalHeader += WORD(bytes.size() - table);
            Nt().FileHeader.NumberOfSections = WORD(sections - 1);
            bytes += kept + std::string(sections * entry - kept.size(), '\0');
        }
        const DWORD text = NextAddress();
        std::string data = std::string(length, 'x') + std::string(1 + count * 6, '\0');
        for (DWORD i = 0; i < count; ++i) memcpy(&data[length + 1 + i * 4], &text, 4);
        Exports().NumberOfNames = count;
        Exports().AddressOfNames = text + DWORD(length + 1);
        Exports().AddressOfNameOrdinals = text + DWORD(length + 1 + count * 4);
        AddSection(data);
    }
};

class RegEvidence {
public:
    RegEvidence() = default;
    ~RegEvidence();
    RegEvidence(const RegEvidence&) = delete;
    RegEvidence& operator=(const RegEvidence&) = delete;

    void CreateKey(HKEY root, const std::wstring& path, const std::wstring& keyClass = std::wstring());
    void SetString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& value);
    void SetDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value);
    // view: KEY_WOW64_64KEY or KEY_WOW64_32KEY for a key of the system's
    // that lies in that registry view.
    void SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const void* data,
                  DWORD size, REGSAM view = 0);
    // Moves a key that exists (in the 32-bit and the 64-bit view) aside until
    // the fixture ends, so that a test can start without what it stands for.
    void HideKey(HKEY root, const std::wstring& path);
    // Takes everything away now and puts hidden keys back.
    void Clear();

private:
    struct CreatedKey {
        HKEY root;
        std::wstring path;
    };
    struct ChangedValue {
        HKEY root;
        REGSAM view;
        std::wstring path, name;
        bool existed;
        DWORD type;
        std::vector<BYTE> data;
    };
    struct HiddenKey {
        HKEY root;
        std::wstring path;
        REGSAM view;
        std::wstring aside; // below HKEY_CURRENT_USER
    };
    std::vector<CreatedKey> keys_;
    std::vector<ChangedValue> values_;
    std::vector<HiddenKey> hidden_;
};

class FileEvidence {
public:
    // native: work in the 64-bit system folders, with WOW64 redirection off.
    explicit FileEvidence(bool native = false) : native_(native) {}
    ~FileEvidence();
    FileEvidence(const FileEvidence&) = delete;
    FileEvidence& operator=(const FileEvidence&) = delete;

    void Copy(const std::wstring& source, const std::wstring& target);
    // An empty file; one already there is left alone.
    void Touch(const std::wstring& target);
    // Moves an existing file aside until the fixture ends.
    void Hide(const std::wstring& path);
    // The same for a file that may or may not be there.
    void HideIfPresent(const std::wstring& path);
    void Clear();

private:
    void MakeFolders(const std::wstring& folder);
    void SetAside(const std::wstring& path);

    bool native_;
    std::vector<std::wstring> folders_; // created, outermost first
    std::vector<std::wstring> files_;   // created
    std::vector<std::wstring> aside_;   // original paths moved to path + ".vltest"
};

// Sets a variable of this process's environment, for the C runtime and the
// system alike, until the scope ends.
struct ScopedVariable {
    ScopedVariable(const wchar_t* name, const std::wstring& to);
    ~ScopedVariable();
    const wchar_t* name;
    std::wstring old;
};

// The environment the system gives a 32-bit program started from outside
// Wine, as the tests themselves are, which it builds from the registry as it
// is now, as an environment block: cmd's "set" lines, each ended by a null
// character, and one more.
std::wstring FreshEnvironment();

// Runs the console driver (a copy of it in the folder, when given) and answers its output.
std::string RunDetectProbe(const std::wstring& folder = std::wstring());
