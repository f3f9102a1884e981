// Sequences of what installers and other programs do with a package's files
// while its program runs, drawn from a seed in one of four mixes, each ending
// in a failed install judged against a model of the disk: what the rollback
// deletes, what it leaves and which files it names. VL_ROLLBACK_SEED,
// VL_ROLLBACK_SEQUENCES and VL_ROLLBACK_FIRST choose others
// (scripts/rollback-sequences.sh).
#include "install/SfxInstall.h"

#include "base/FileUtil.h"
#include "base/TextConvert.h"
#include "tests/install/InstallTestUtil.h"
#include "tests/support/PackageWriter.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <map>
#include <random>
#include <set>
#include <sstream>

namespace Velora {
namespace {

using namespace Velora::Test;

// Below a sequence's root; file k of the package has identity k. The install
// makes "app\sub"; "app", "app\keep" and "side" are the user's.
const std::vector<std::wstring> kShipped = {L"app\\a0.dat",      L"app\\a1.dat",      L"app\\a2.dat",
                                            L"app\\sub\\s0.dat", L"app\\sub\\s1.dat", L"app\\keep\\k0.dat",
                                            L"app\\keep\\k1.dat"};
const int kFiles = int(kShipped.size());
const std::wstring kMade = L"app\\sub", kOwn = L"side\\o";

// The disk compares names without case; under Wine a rename that changes
// only the case leaves the name as it was made.
const auto Same = [](const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; };
struct NoCase {
    bool operator()(const std::wstring& a, const std::wstring& b) const { return _wcsicmp(a.c_str(), b.c_str()) < 0; }
};

bool IsBelow(const std::wstring& path, const std::wstring& folder)
{
    return Same(path.substr(0, folder.size()), folder) &&
           (path.size() == folder.size() || path[folder.size()] == L'\\');
}

struct Entry {
    bool folder = false, fixed = false; // fixed: the user's, which no program touches
    int id = -1;                        // a file's: kept through move, append and touch
    std::string content;
};
using Disk = std::map<std::wstring, Entry, NoCase>;

// Write, save through a temporary file, move a file, move a folder, move a
// folder away and make it again, delete, delete and write again, append,
// touch, make a folder, remove one; a temporary folder made, filled and
// removed; a package file kept as .bak, at times written anew; a rename of
// the case alone; two entries exchanged through a third name; a folder moved
// to where another folder was.
// clang-format off
enum { kWrite, kSave, kMoveFile, kMoveFolder, kRemake, kDelete, kRewrite, kAppend, kTouch, kMakeFolder, kRemoveFolder,
       kTemporary, kBackup, kCase, kSwap, kFormer };
// clang-format on

// How often each act is drawn, how many steps a sequence has, and in how
// many of six the program B acts rather than A.
struct Mix {
    const char* name;
    std::vector<double> weights;
    int least, most, ofB;
};
const Mix kMixes[] = {
    {"mixed", {3, 3, 5, 3, 2, 2, 2, 2, 2, 2, 1}, 5, 30, 2},
    // As setup programs work: configurations written and saved, logs
    // appended, temporary folders, a backup; seldom a folder renamed or a
    // file moved.
    {"setup", {4, 5, 0.4, 0.3, 0, 0.3, 0.5, 4, 0.5, 0.5, 0, 2, 1.5}, 8, 30, 1},
    // Long, with folders moved onto names others had and entries exchanged.
    {"hostile", {2, 1, 4, 2, 2, 2, 1, 1, 1, 2, 1, 0, 1, 3, 3, 3}, 30, 80, 2},
    // The second program doing most of the steps.
    {"beside", {3, 3, 5, 3, 2, 2, 2, 2, 2, 2, 1, 1, 0, 1, 1, 1}, 10, 40, 4},
};

// The disk as the steps leave it, and the steps of the package's program
// (A) and of the program it starts (B), which works only in "side\o", so
// that the end does not depend on how the two interleave.
struct Sequence {
    Sequence(uint32_t seed, int n, const Mix& mix, const std::wstring& root) : n(n), root(root)
    {
        std::seed_seq seedOfThis{seed, uint32_t(n), uint32_t(&mix - kMixes)};
        random.seed(seedOfThis);
        for (const wchar_t* folder : {L"app", L"app\\keep", L"side"}) disk[folder] = {true, true};
        for (const wchar_t* file : {L"app\\u.txt", L"app\\keep\\k.txt", L"side\\s.txt"})
            disk[file] = {false, true, next++, "user's"};
        disk[kMade] = {true};
        for (int k = 0; k < kFiles; ++k) disk[kShipped[k]] = {false, false, k, "shipped " + std::to_string(k)};
        steps[0] = L"list\t" + Full(L"side") + L"\n";
        Md(true, kOwn);
        std::discrete_distribution<int> act(mix.weights.begin(), mix.weights.end());
        for (int done = 0, count = mix.least + int(random() % (mix.most - mix.least + 1)); done < count;)
            done += Act(int(random() % 6) < mix.ofB, act(random));
    }
    std::wstring Full(const std::wstring& path) const { return root + L"\\" + path; }
    static bool Movable(const std::wstring& path, const Entry& entry) { return !entry.fixed && !Same(path, kOwn); }
    // One of the program's own entries that fits.
    template <typename Fits> std::wstring Pick(bool b, Fits fits)
    {
        std::vector<std::wstring> paths;
        for (const auto& [path, entry] : disk)
            if (IsBelow(path, kOwn) == b && fits(path, entry)) paths.push_back(path);
        return paths.empty() ? L"" : paths[random() % paths.size()];
    }
    std::wstring Any(bool b, bool folder, bool movable)
    {
        return Pick(b, [&](const std::wstring& path, const Entry& entry) {
            return entry.folder == folder && (!movable || Movable(path, entry));
        });
    }
    // Often one of the package's names, so that entries come to stand where
    // others stood.
    std::wstring NewName(const std::wstring& folder, bool isFolder)
    {
        std::wstring name = isFolder ? (random() % 2 ? L"sub" : L"keep") : kShipped[random() % kFiles];
        name = name.substr(name.rfind(L'\\') + 1);
        if (random() % 2 || disk.count(folder + L"\\" + name))
            name = (isFolder ? L"d" : L"n") + std::to_wstring(next++) + (isFolder ? L"" : L".dat");
        return folder + L"\\" + name;
    }
    int Step(bool b, const wchar_t* verb, const std::wstring& path, const std::wstring& argument = L"")
    {
        steps[b] += verb + (L"\t" + Full(path)) + (argument.empty() ? L"" : L"\t" + argument) + L"\n";
        return 1;
    }
    int Put(bool b, const std::wstring& path, const char* how = "w", const wchar_t* verb = L"write")
    {
        disk[path] = {false, false, next, how + std::to_string(next)};
        ++next;
        return Step(b, verb, path, ToWideString(disk[path].content));
    }
    // Takes the entry and all below it off the disk, by their names below
    // it; its folders' names are free for others.
    Disk Take(const std::wstring& from)
    {
        Disk taken;
        for (const auto& [path, entry] : disk)
            if (IsBelow(path, from)) taken[path.substr(from.size())] = entry;
        for (const auto& [below, entry] : taken) {
            if (entry.folder) former.push_back(from + below);
            disk.erase(from + below);
        }
        return taken;
    }
    // A file or a folder with all below it, over a file that had the name.
    int Move(bool b, const std::wstring& from, const std::wstring& to)
    {
        Disk taken = Take(from);
        disk.erase(to);
        for (const auto& [below, entry] : taken) disk[to + below] = entry;
        return Step(b, L"move", from, Full(to));
    }
    int Md(bool b, const std::wstring& folder)
    {
        disk[folder] = {true};
        return Step(b, L"md", folder);
    }
    // The steps it wrote.
    int Act(bool b, int act)
    {
        const std::wstring file = Any(b, false, true), folder = Any(b, true, true), into = Any(b, true, false);
        switch (act) {
        case kWrite: return Put(b, NewName(into, false));
        case kSave: return file.empty() ? 0 : Put(b, file, "saved ", L"save");
        case kMoveFile: {
            if (file.empty()) return 0;
            const std::wstring to = random() % 3 ? NewName(into, false) : into + file.substr(file.rfind(L'\\'));
            return Same(to, file) || (disk.count(to) && (disk[to].folder || disk[to].fixed)) ? 0 : Move(b, file, to);
        }
        case kMoveFolder:
        case kRemake: {
            if (folder.empty() || (act == kMoveFolder && IsBelow(into, folder))) return 0;
            const std::wstring to = NewName(act == kMoveFolder ? into : folder.substr(0, folder.rfind(L'\\')), true);
            if (Move(b, folder, to) && act == kMoveFolder) return 1;
            return Md(b, folder) + (random() % 2 ? 1 + Put(b, NewName(folder, false)) : 1);
        }
        case kDelete:
        case kRewrite:
            if (file.empty()) return 0;
            disk.erase(file);
            return Step(b, L"del", file) + (act == kDelete ? 0 : Put(b, file));
        case kAppend: {
            // Short enough that a listing shows it whole.
            if (file.empty() || disk[file].content.size() > 28) return 0;
            const std::string more = "+" + std::to_string(random() % 100);
            disk[file].content += more;
            return Step(b, L"append", file, ToWideString(more));
        }
        case kTouch: return file.empty() ? 0 : Step(b, L"touch", file);
        case kMakeFolder: return Md(b, NewName(into, true));
        case kRemoveFolder:
            if (folder.empty()) return 0;
            for (const auto& [path, entry] : disk)
                if (IsBelow(path, folder) && entry.fixed) return 0;
            Take(folder);
            return Step(b, L"rd", folder);
        case kTemporary: {
            const std::wstring temporary = NewName(into, true);
            int done = Md(b, temporary);
            for (int files = 1 + random() % 3; files > 0; --files) done += Put(b, NewName(temporary, false));
            Take(temporary);
            return done + Step(b, L"rd", temporary);
        }
        case kBackup: {
            const std::wstring shipped =
                Pick(b, [](const std::wstring&, const Entry& entry) { return !entry.folder && entry.id < kFiles; });
            if (shipped.empty() || disk.count(shipped + L".bak")) return 0;
            return Move(b, shipped, shipped + L".bak") + (random() % 2 ? Put(b, shipped) : 0);
        }
        case kCase: {
            std::wstring from = Pick(b, Movable), to = from;
            const size_t leaf = to.rfind(L'\\') + 1;
            const bool upper = std::any_of(to.begin() + leaf, to.end(), iswlower);
            for (size_t i = leaf; i < to.size(); ++i) to[i] = wchar_t(upper ? towupper(to[i]) : towlower(to[i]));
            return from.empty() ? 0 : Move(b, from, to);
        }
        case kSwap: {
            // Never a file into the install's folder's name: that would be no
            // folder for the rollback to remove.
            const std::wstring x = Pick(b, Movable), y = Pick(b, Movable);
            if (x.empty() || IsBelow(x, y) || IsBelow(y, x) ||
                (disk[x].folder != disk[y].folder && (Same(x, kMade) || Same(y, kMade))))
                return 0;
            const std::wstring through = NewName(x.substr(0, x.rfind(L'\\')), disk[x].folder);
            return Move(b, x, through) + Move(b, y, x) + Move(b, through, y);
        }
        default: {
            const std::wstring to = former.empty() ? L"" : former[random() % former.size()];
            const auto parent = disk.find(to.substr(0, to.rfind(L'\\')));
            const bool free = !to.empty() && !disk.count(to) && parent != disk.end() && parent->second.folder;
            return folder.empty() || !free || IsBelow(to, kOwn) != b || IsBelow(to, folder) ? 0 : Move(b, folder, to);
        }
        }
    }

    const int n;
    const std::wstring root;
    std::mt19937 random;
    int next = kFiles;
    Disk disk;
    // Where folders were.
    std::vector<std::wstring> former;
    std::wstring steps[2];
};

// Each mix's sequences over the run.
struct Tally {
    int sequences = 0, failed = 0, stayed = 0, named = 0, nowhere = 0, held = 0;
};

// Without case: the disk keeps the case an entry was made with.
std::multiset<std::string> Lines(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    std::multiset<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.insert(line);
    return lines;
}

// What is wrong after the rollback; empty when nothing. It deletes each
// package file its own name leads to, and the folder the install made,
// whatever is in it, where a folder has its name. It names each package file that stays where it is (or
// tells it stayed, found nowhere), and each of the package's names that
// holds something else; nothing more. Not all is put back exactly then.
std::string Judge(const Sequence& sequence, const std::vector<SeenEvent>& events, bool rolledBack, Tally& tally)
{
    std::ostringstream wrong;
    std::vector<std::wstring> stays(kFiles);
    std::vector<bool> held(kFiles), heldTold(kFiles), told(kFiles);
    std::string expected;
    const auto made = sequence.disk.find(kMade);
    const bool removed = made != sequence.disk.end() && made->second.folder;
    for (const auto& [path, entry] : sequence.disk) {
        const bool shipped = !entry.folder && entry.id >= 0 && entry.id < kFiles;
        if ((removed && IsBelow(path, kMade)) || (shipped && Same(path, kShipped[entry.id]))) continue;
        if (shipped) stays[entry.id] = path;
        for (int k = 0; k < kFiles; ++k) held[k] = held[k] || Same(path, kShipped[k]);
        expected += ToMultiByte(path) + (entry.folder ? "\\" : " = " + entry.content) + "\n";
    }
    const std::string listing = TreeListing(sequence.root);
    if (Lines(listing) != Lines(expected)) wrong << "the disk:\n" << listing << "where the model has:\n" << expected;
    for (const SeenEvent& event : events) {
        if (event.code >> 28 != 1) continue;
        int k = kFiles - 1;
        while (k >= 0 && !Same(sequence.Full(kShipped[k]), event.original.empty() ? event.text1 : event.original)) --k;
        const bool claim = event.code == kEventDeleteFailed && k >= 0;
        if (claim && event.error == ERROR_FILE_INVALID && event.original.empty() && held[k] && !heldTold[k]) {
            heldTold[k] = true;
        } else if (claim && event.error == ERROR_FILE_NOT_FOUND && !stays[k].empty() && !told[k] &&
                   (event.original.empty() || Same(event.text1, sequence.Full(stays[k])))) {
            told[k] = true;
            ++(event.original.empty() ? tally.nowhere : tally.named);
            if (event.original.empty())
                std::printf("sequence %d: %ls told found nowhere, at %ls\n", sequence.n, kShipped[k].c_str(),
                            stays[k].c_str());
        } else {
            wrong << "an event names what is not so: \"" << ToMultiByte(event.text1) << "\" from \""
                  << ToMultiByte(event.original) << "\" (event " << std::hex << event.code << std::dec << ", error "
                  << event.error << ")\n";
        }
    }
    bool left = false;
    for (int k = 0; k < kFiles; ++k) {
        tally.stayed += !stays[k].empty();
        tally.held += held[k];
        left = left || held[k] || !stays[k].empty();
        if (!stays[k].empty() && !told[k])
            wrong << "left unnamed: " << ToMultiByte(kShipped[k]) << ", now " << ToMultiByte(stays[k]) << "\n";
        if (held[k] && !heldTold[k]) wrong << "not told that something else holds " << ToMultiByte(kShipped[k]) << "\n";
    }
    if (rolledBack == left)
        wrong << "IsRolledBack() " << rolledBack << " where " << (left ? "" : "no ") << "file stays\n";
    return wrong.str();
}

class RollbackSequences : public ::testing::TestWithParam<int> {};

TEST_P(RollbackSequences, EachFileThatStaysIsNamedAndNoOtherIs)
{
    const auto number = [](const wchar_t* name, int otherwise) {
        const std::wstring text = GetVariable(name);
        return text.empty() ? otherwise : int(std::wcstoul(text.c_str(), nullptr, 10));
    };
    const Mix& mix = kMixes[GetParam()];
    const uint32_t seed = uint32_t(number(L"VL_ROLLBACK_SEED", 5021));
    const int count = number(L"VL_ROLLBACK_SEQUENCES", 30), first = number(L"VL_ROLLBACK_FIRST", 0);
    TestFolder folder;
    const std::wstring stepFiles[2] = {folder / L"a.txt", folder / L"b.txt"};
    PackageWriter writer;
    writer.root.Add(File(L"##tasks##.txt", Utf16File(L"runcheck 0 \"" + HelperProgram(L"vltest_steps.exe") + L"\" \"" +
                                                     stepFiles[0] + L"\" \"" + stepFiles[1] + L"\"")));
    for (int k = 0; k < 3; ++k)
        writer.root.Add(File(L"a" + std::to_wstring(k) + L".dat", "shipped " + std::to_string(k)));
    writer.root.Add(Folder(L"sub", {File(L"s0.dat", "shipped 3"), File(L"s1.dat", "shipped 4")}));
    writer.root.Add(Folder(L"keep", {File(L"k0.dat", "shipped 5"), File(L"k1.dat", "shipped 6")}));
    ASSERT_TRUE(writer.WriteTo(folder / L"p.vlz"));
    Tally tally;
    for (int n = first; n < first + count; ++n) {
        Sequence sequence(seed, n, mix, folder / (L"r" + std::to_wstring(n)));
        for (const auto& [path, entry] : sequence.disk)
            ASSERT_TRUE(!entry.fixed || (entry.folder ? CreateDirectories(sequence.Full(path))
                                                      : WriteFileBytes(sequence.Full(path), entry.content)));
        for (int i = 0; i < 2; ++i) ASSERT_TRUE(WriteFileBytes(stepFiles[i], Utf16File(sequence.steps[i])));
        EventLog sink;
        VLSfxInstall install(folder / L"p.vlz");
        install.SetProgress(&sink);
        ASSERT_TRUE(install.Open());
        EXPECT_FALSE(install.Install(sequence.Full(L"app")));
        // The program ends with 1 when every step went as the model says.
        std::string wrong = "the program did not end with 1\n";
        for (const SeenEvent& event : sink.events)
            if (event.code == kEventScriptFailed && event.value3 == 1)
                wrong = Judge(sequence, sink.events, install.IsRolledBack(), tally);
        ++tally.sequences;
        if (!wrong.empty() && ++tally.failed <= 5)
            ADD_FAILURE() << "mix " << mix.name << ", seed " << seed << ", sequence " << n << ":\n"
                          << wrong << "A:\n"
                          << ToMultiByte(sequence.steps[0]) << "B:\n"
                          << ToMultiByte(sequence.steps[1]);
        else if (!wrong.empty())
            std::printf("mix %s, seed %u, sequence %d: wrong as well\n", mix.name, seed, n);
        DeleteTree(sequence.root);
    }
    std::printf("mix %s, seed %u: %d sequences, %d failed; %d files stayed, %d named, %d found nowhere; "
                "%d names held something else\n",
                mix.name, seed, tally.sequences, tally.failed, tally.stayed, tally.named, tally.nowhere, tally.held);
    std::fflush(stdout);
    EXPECT_EQ(tally.failed, 0) << "of " << count << " sequences";
    // Told as stayed though found nowhere: allowed, seldom.
    EXPECT_LE(tally.nowhere * 50, tally.stayed);
}

INSTANTIATE_TEST_SUITE_P(Mixes, RollbackSequences, ::testing::Range(0, int(std::size(kMixes))));

} // namespace
} // namespace Velora
