// A program or library file read as data, never loaded: nothing in it runs,
// and each table the system would read through is first checked, from the
// file's own bytes, to lie inside both the file and the image the system
// would make of it. A damaged or hostile file then reads as unreadable
// instead of crashing the reader or being read past its end.
//
// The file is held open, letting others only read it, for as long as this
// object lives: what was checked is what every later read sees, and the
// system is never handed the path to read the file again.
#pragma once

#include "base/Handles.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Velora {

class VLPeFile {
public:
    // Opens and maps the file read-only and checks its headers and section
    // table; false for anything but a whole 32- or 64-bit PE file whose
    // sections the loader would lay out just as they are read here (an image
    // aligned below a page included, which it maps as the file lies).
    bool Open(const std::wstring& path);
    // Copies out the version resource the system's version reader takes
    // (type 16, name 1, in the language its lookup prefers), found in the
    // resource tree just as the system's lookup finds it, once the block lies
    // inside the file and the image and holds at least its own header.
    bool ReadVersionBlock(std::vector<uint8_t>& block) const;
    // Looks the name up in the export table, after checking that the table,
    // every name, ordinal and address in it lie inside the file and the image.
    // False when the table is damaged or lacks the name. forward receives the
    // "library.function" text of an export handed on to another library, and
    // is empty for one with code of its own.
    bool FindExport(const std::string& name, std::string& forward) const;
    // Whether the system maps the file, through the handle held, as an image
    // this process could load. Nothing in it runs.
    bool MapsAsImage() const;

private:
    // The bytes from rva up to the end of what its section holds in both the
    // file and the image; null when no section holds rva.
    const uint8_t* Span(uint32_t rva, uint64_t& available) const;
    // The size bytes at rva, or null unless all of them can be read.
    const uint8_t* At(uint32_t rva, uint64_t size) const;
    template <typename T> bool Read(uint32_t rva, T& out) const;
    // A text at rva terminated within the longest name a table holds, or
    // null.
    const char* TextAt(uint32_t rva) const;
    bool Directory(unsigned index, IMAGE_DATA_DIRECTORY& out) const;
    bool SectionsAreLaidOutAsRead() const;

    VLHandle file_;
    VLMappedView view_;
    const uint8_t* base_ = nullptr;
    uint64_t fileSize_ = 0;
    uint32_t imageSize_ = 0;
    uint32_t sectionAlignment_ = 0;
    uint32_t fileAlignment_ = 0;
    WORD machine_ = 0;
    std::vector<IMAGE_SECTION_HEADER> sections_; // by address, none overlapping
    const uint8_t* directories_ = nullptr;       // IMAGE_DATA_DIRECTORY records
    unsigned directoryCount_ = 0;
};

} // namespace Velora
