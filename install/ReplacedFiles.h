// The files an install writes over. Each is kept by renaming it through its
// own handle to a free name in its own folder that begins with its own
// ("user.dll.~vl0"; "~vl0" where that would be too long): a rename on the
// same volume, which leaves its bytes, times and attributes as they were. The handle is held, without
// delete sharing, until the file goes back or goes: what is put back or
// removed is the kept file itself, never whatever bears its name then. A
// failed install puts each back under the name it had; one that stands
// removes them.
#pragma once

#include "base/PlainFile.h"
#include "install/CompressProgress.h"

#include <windows.h>

#include <string>
#include <vector>

namespace Velora {

class VLReplacedFiles {
public:
    // Renames the existing plain file at path aside. Where path is the name
    // a kept file has now, that file moves on to another, so that the
    // install may write there. False, with the reason in GetLastError, when
    // it cannot be: the file then stays where it is.
    bool Keep(const std::wstring& path);
    // Newest first: renames each kept file back; the caller has removed what
    // the install wrote over it. One that cannot go back stays under its kept
    // name; report hears that name, the original and the reason. True when
    // every file went back.
    template <typename Report> bool PutBack(Report report);
    // Removes the kept files; one that is in use goes when the system next
    // starts.
    void Discard();

private:
    struct Kept {
        // The name the file had, spelled as its folder held it: the path
        // the install wrote may differ in case.
        std::wstring original;
        std::wstring aside;
        VLPlainFile file;
    };
    // To the next free kept name in the file's folder.
    bool MoveAside(Kept& kept);

    std::vector<Kept> kept_;
    // Kept names end in "~vl" and a number, counted over the install.
    unsigned nextName_ = 0;
};

// Tells the sink (when there is one) of a kept copy: value 1 its path,
// value 2 the error, and the path it had.
void ReportKeptCopy(VLCompressProgress* sink, uint32_t code, const std::wstring& aside, const std::wstring& original,
                    DWORD error);

template <typename Report> bool VLReplacedFiles::PutBack(Report report)
{
    // Newest first: a path written twice gets the first of its replacements
    // back before the file that was there at the start.
    bool all = true;
    for (auto kept = kept_.rbegin(); kept != kept_.rend(); ++kept) {
        if (kept->file.Rename(kept->original, false)) continue;
        all = false;
        report(kept->aside, kept->original, GetLastError());
    }
    kept_.clear();
    return all;
}

} // namespace Velora
