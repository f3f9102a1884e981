// The files an install writes over. Each is kept by renaming it in its own
// folder: a rename on the same volume, which leaves its bytes, times and
// attributes as they were. A failed install puts each back under the name it
// had; one that stands removes them.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

namespace Velora {

class VLReplacedFiles {
public:
    // Renames the existing file at path aside. False, with the reason in
    // GetLastError, when it cannot be: the file then stays where it is.
    bool Keep(const std::wstring& path);
    // Whether the file at path (as given to Keep) took the place of a kept one.
    bool Holds(const std::wstring& path) const { return paths_.count(path) != 0; }
    // Newest first: removes what the install wrote at each path and renames
    // the kept file back. One that cannot go back stays under its kept name;
    // report hears its original path and the reason.
    template <typename Report> void PutBack(Report report);
    // Removes the kept files; one that is in use goes when the system next
    // starts.
    void Discard();

private:
    struct Kept {
        std::wstring path;
        // The name the file had, spelled as its folder held it: the path
        // may differ in case.
        std::wstring original;
        std::wstring aside;
    };
    // False with the reason in GetLastError when the kept file stays aside.
    static bool PutBackOne(const Kept& kept);

    std::vector<Kept> kept_;
    std::set<std::wstring> paths_;
};

template <typename Report> void VLReplacedFiles::PutBack(Report report)
{
    // Newest first: a path written twice gets the first of its replacements
    // back before the file that was there at the start.
    for (auto kept = kept_.rbegin(); kept != kept_.rend(); ++kept)
        if (!PutBackOne(*kept)) report(kept->original, GetLastError());
    kept_.clear();
    paths_.clear();
}

// Removes a file or a folder tree. The image of a script program that has
// just ended can stay mapped for a moment after its process is signalled, so
// a refused removal is tried again for a short while. False when the path
// is still there.
bool RemovePatiently(const std::wstring& path);

} // namespace Velora
