// A program or library file read as data, never loaded: nothing in it runs,
// and each table the system would read through is first checked, from the
// file's own bytes, to lie inside both the file and the image the system
// would make of it. A damaged or hostile file then reads as unreadable
// instead of crashing the reader or being read past its end.
#pragma once

#include "base/Handles.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace Velora {

class VLPeFile {
public:
    // Maps the file read-only and checks its headers and section table;
    // false for anything but a whole 32- or 64-bit PE file.
    bool Open(const std::wstring& path);
    // Whether the file has a version resource, and every one of them lies
    // inside the file and the image and holds at least its own header.
    bool HasSoundVersionResource() const;
    // Looks the name up in the export table, after checking that the table,
    // every name, ordinal and address in it lie inside the file and the image.
    // False when the table is damaged or lacks the name. forward receives the
    // "library.function" text of an export handed on to another library, and
    // is empty for one with code of its own.
    bool FindExport(const std::string& name, std::string& forward) const;

private:
    // The bytes from rva up to the end of what its section holds in both the
    // file and the image; null when no section holds rva.
    const uint8_t* Span(uint32_t rva, uint64_t& available) const;
    // The size bytes at rva, or null unless all of them can be read.
    const uint8_t* At(uint32_t rva, uint64_t size) const;
    template <typename T> bool Read(uint32_t rva, T& out) const;
    // A terminated text at rva, or null when it runs out of its section.
    const char* TextAt(uint32_t rva) const;
    bool Directory(unsigned index, IMAGE_DATA_DIRECTORY& out) const;
    bool VersionBlockIsSound(uint32_t rva, uint32_t size) const;

    VLMappedView view_;
    const uint8_t* base_ = nullptr;
    uint64_t fileSize_ = 0;
    uint32_t imageSize_ = 0;
    const uint8_t* sections_ = nullptr; // IMAGE_SECTION_HEADER records
    unsigned sectionCount_ = 0;
    const uint8_t* directories_ = nullptr; // IMAGE_DATA_DIRECTORY records
    unsigned directoryCount_ = 0;
};

} // namespace Velora
