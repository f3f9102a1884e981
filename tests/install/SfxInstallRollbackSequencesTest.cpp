// Sequences of what installers and other programs do with a package's files
// while its program runs, drawn from a seed, each ending in a failed install.
// A model of the disk says what the rollback must delete, what it must leave
// and which of the package's files it must name. VL_ROLLBACK_SEED,
// VL_ROLLBACK_SEQUENCES and VL_ROLLBACK_FIRST choose other sequences and more
// of them (scripts/rollback-sequences.sh).
#include "install/SfxInstall.h"

#include "base/FileUtil.h"
#include "base/TextConvert.h"
#include "tests/install/InstallTestUtil.h"
#include "tests/support/PackageWriter.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <sstream>

namespace Velora {
namespace {

using namespace Velora::Test;

// By their paths below a sequence's root. File k of the package has
// identity k; folder "app\sub" is the only one the install makes.
const std::vector<std::wstring> kShipped = {L"app\\a0.dat",      L"app\\a1.dat",      L"app\\a2.dat",
                                            L"app\\sub\\s0.dat", L"app\\sub\\s1.dat", L"app\\keep\\k0.dat",
                                            L"app\\keep\\k1.dat"};
const int kFiles = int(kShipped.size());
const std::wstring kMade = L"app\\sub";
// The second program's own folder, which it makes first.
const std::wstring kOwn = L"side\\o";

bool IsBelow(const std::wstring& path, const std::wstring& folder)
{
    return path == folder || path.rfind(folder + L"\\", 0) == 0;
}

struct Entry {
    bool folder = false;
    // The user's: no program moves, changes or removes it.
    bool fixed = false;
    // A file's: kept through a move, an append and a touch, new when saved
    // through a temporary file or made again.
    int id = -1;
    std::string content;
    bool Shipped() const { return !folder && id >= 0 && id < kFiles; }
};

// The disk below one root as the steps leave it, and the steps of the
// package's program (A: everywhere but "side\o") and of the program it starts
// (B: only in "side\o", which it makes, so the end does not depend on how
// the two interleave).
class Sequence {
public:
    Sequence(std::seed_seq& seed, const std::wstring& root) : root(root), random_(seed)
    {
        for (const wchar_t* folder : {L"app", L"app\\keep", L"side"}) disk[folder] = {true, true};
        disk[kMade] = {true};
        for (const wchar_t* file : {L"app\\u.txt", L"app\\keep\\k.txt", L"side\\s.txt"})
            disk[file] = {false, true, next_++, "user's"};
        for (int k = 0; k < kFiles; ++k) disk[kShipped[k]] = {false, false, k, Shipped(k)};
        steps[0] = L"list\t" + Full(L"side") + L"\n";
        Md(true, kOwn);
        const int count = std::uniform_int_distribution<int>(5, 30)(random_);
        // Each act answers how many steps it wrote, none where nothing fits.
        const struct {
            int weight;
            int (Sequence::*act)(bool second);
        } acts[] = {{3, &Sequence::Write},      {3, &Sequence::Save},   {5, &Sequence::MoveFile},
                    {3, &Sequence::MoveFolder}, {2, &Sequence::Remake}, {2, &Sequence::Delete},
                    {2, &Sequence::Remade},     {2, &Sequence::Append}, {2, &Sequence::Touch},
                    {2, &Sequence::NewFolder},  {1, &Sequence::Remove}};
        std::vector<int> weights;
        for (const auto& act : acts) weights.push_back(act.weight);
        std::discrete_distribution<size_t> pick(weights.begin(), weights.end());
        // The package's program does two steps of three.
        for (int done = 0; done < count;) done += (this->*acts[pick(random_)].act)(random_() % 3 == 0);
    }

    static std::string Shipped(int k) { return "shipped " + std::to_string(k); }
    std::wstring Full(const std::wstring& path) const { return root + L"\\" + path; }

    const std::wstring root;
    std::map<std::wstring, Entry> disk;
    std::wstring steps[2];

private:
    std::vector<std::wstring> Paths(bool second, bool folder, bool movable) const
    {
        std::vector<std::wstring> paths;
        for (const auto& [path, entry] : disk)
            if (IsBelow(path, kOwn) == second && entry.folder == folder && !(movable && (entry.fixed || path == kOwn)))
                paths.push_back(path);
        return paths;
    }
    std::wstring Any(const std::vector<std::wstring>& paths)
    {
        return paths.empty() ? L"" : paths[random_() % paths.size()];
    }
    // A name in the folder that nothing has: often one of the package's
    // names, so that files and folders come to stand where others stood.
    std::wstring NewName(const std::wstring& folder, bool isFolder)
    {
        std::wstring name = isFolder ? std::vector<std::wstring>{L"sub", L"keep"}[random_() % 2]
                                     : GetFileName(kShipped[random_() % kFiles]);
        if (random_() % 2 || disk.count(folder + L"\\" + name))
            name = (isFolder ? L"d" : L"n") + std::to_wstring(next_++) + (isFolder ? L"" : L".dat");
        return folder + L"\\" + name;
    }
    void Step(bool second, const wchar_t* verb, const std::wstring& path, const std::wstring& argument = L"")
    {
        steps[second] += verb + (L"\t" + Full(path)) + (argument.empty() ? L"" : L"\t" + argument) + L"\n";
    }
    int Put(bool second, const std::wstring& path)
    {
        const int id = next_++;
        disk[path] = {false, false, id, "w" + std::to_string(id)};
        Step(second, L"write", path, ToWideString(disk[path].content));
        return 1;
    }
    void MoveTree(const std::wstring& from, const std::wstring& to)
    {
        std::map<std::wstring, Entry> moved;
        for (auto it = disk.begin(); it != disk.end();)
            if (IsBelow(it->first, from)) {
                moved[to + it->first.substr(from.size())] = it->second;
                it = disk.erase(it);
            } else {
                ++it;
            }
        disk.merge(moved);
    }

    int Write(bool second) { return Put(second, NewName(Any(Paths(second, true, false)), false)); }
    int Save(bool second)
    {
        const std::wstring file = Any(Paths(second, false, true));
        if (file.empty()) return 0;
        const int id = next_++;
        disk[file] = {false, false, id, "saved " + std::to_string(id)};
        Step(second, L"save", file, ToWideString(disk[file].content));
        return 1;
    }
    // Within its folder, to another, or over another program's file.
    int MoveFile(bool second)
    {
        const std::wstring file = Any(Paths(second, false, true));
        if (file.empty()) return 0;
        const std::wstring folder = Any(Paths(second, true, false));
        const std::wstring to = random_() % 3 ? NewName(folder, false) : folder + L"\\" + GetFileName(file);
        const auto there = disk.find(to);
        if (to == file || (there != disk.end() && (there->second.folder || there->second.fixed))) return 0;
        disk[to] = disk[file];
        disk.erase(file);
        Step(second, L"move", file, Full(to));
        return 1;
    }
    int MoveFolder(bool second)
    {
        const std::wstring from = Any(Paths(second, true, true)), folder = Any(Paths(second, true, false));
        if (from.empty() || IsBelow(folder, from)) return 0;
        const std::wstring to = NewName(folder, true);
        MoveTree(from, to);
        Step(second, L"move", from, Full(to));
        return 1;
    }
    // Keeps a folder under another name and makes it again, as an installer
    // keeps what it replaces.
    int Remake(bool second)
    {
        const std::wstring folder = Any(Paths(second, true, true));
        if (folder.empty()) return 0;
        const std::wstring kept = NewName(folder.substr(0, folder.rfind(L'\\')), true);
        MoveTree(folder, kept);
        Step(second, L"move", folder, Full(kept));
        Md(second, folder);
        return random_() % 2 ? 2 + Put(second, NewName(folder, false)) : 2;
    }
    int Delete(bool second)
    {
        const std::wstring file = Any(Paths(second, false, true));
        if (file.empty()) return 0;
        disk.erase(file);
        Step(second, L"del", file);
        return 1;
    }
    int Remade(bool second)
    {
        const std::wstring file = Any(Paths(second, false, true));
        if (file.empty()) return 0;
        Step(second, L"del", file);
        return 1 + Put(second, file);
    }
    int Append(bool second)
    {
        const std::wstring file = Any(Paths(second, false, true));
        // Short enough that a listing shows it whole.
        if (file.empty() || disk[file].content.size() > 28) return 0;
        const std::string more = "+" + std::to_string(random_() % 100);
        disk[file].content += more;
        Step(second, L"append", file, ToWideString(more));
        return 1;
    }
    int Touch(bool second)
    {
        const std::wstring file = Any(Paths(second, false, true));
        if (file.empty()) return 0;
        Step(second, L"touch", file);
        return 1;
    }
    int Md(bool second, const std::wstring& folder)
    {
        disk[folder] = {true};
        Step(second, L"md", folder);
        return 1;
    }
    int NewFolder(bool second) { return Md(second, NewName(Any(Paths(second, true, false)), true)); }
    int Remove(bool second)
    {
        const std::wstring folder = Any(Paths(second, true, true));
        if (folder.empty()) return 0;
        for (const auto& [path, entry] : disk)
            if (IsBelow(path, folder) && entry.fixed) return 0;
        for (auto it = disk.begin(); it != disk.end();)
            it = IsBelow(it->first, folder) ? disk.erase(it) : std::next(it);
        Step(second, L"rd", folder);
        return 1;
    }

    std::mt19937 random_;
    int next_ = kFiles;
};

// Sorted, so that the order a folder lists its names in does not count.
std::string SortedLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    std::string sorted;
    for (const std::string& line : lines) sorted += line + "\n";
    return sorted;
}

struct Figures {
    int named = 0, unknown = 0, heardRemoved = 0;
};

// What is wrong with the rollback after the sequence; empty when nothing.
std::string Judge(const Sequence& sequence, const std::vector<SeenEvent>& events, bool rolledBack, Figures& figures)
{
    std::ostringstream wrong;
    std::string expected;
    auto shippedAt = [&](const std::wstring& full) {
        for (int k = 0; k < kFiles; ++k)
            if (sequence.Full(kShipped[k]) == full) return k;
        return -1;
    };
    std::vector<bool> named(kFiles), unknown(kFiles);
    for (const SeenEvent& event : events)
        if (event.code == kEventDeleteFailed && event.error == ERROR_FILE_NOT_FOUND && event.original.empty() &&
            shippedAt(event.text1) >= 0)
            unknown[shippedAt(event.text1)] = true;
    std::vector<std::wstring> where(kFiles);
    for (const auto& [path, entry] : sequence.disk) {
        if (entry.Shipped()) where[entry.id] = path;
        // Deleted: a file of the package where its name leads to it (unless
        // told unknown, where it may stay), and the folder the install made,
        // whole, whatever is in it.
        if (IsBelow(path, kMade) ||
            (entry.Shipped() && path == kShipped[entry.id] && !(unknown[entry.id] && PathExists(sequence.Full(path)))))
            continue;
        expected += ToMultiByte(path) + (entry.folder ? "\\" : " = " + entry.content) + "\n";
    }
    const std::string listing = SortedLines(TreeListing(sequence.root));
    if (listing != SortedLines(expected))
        wrong << "the disk:\n" << listing << "where the model has:\n" << SortedLines(expected);
    size_t left = 0;
    for (const SeenEvent& event : events) {
        if (event.code != kEventDeleteFailed) continue;
        ++left;
        const std::wstring below = sequence.Full(L"");
        const auto found =
            sequence.disk.find(event.text1.rfind(below, 0) == 0 ? event.text1.substr(below.size()) : L"");
        const int k = shippedAt(event.text1);
        const bool isMoved = event.error == ERROR_FILE_NOT_FOUND && !event.original.empty() &&
                             found != sequence.disk.end() && found->second.Shipped() &&
                             sequence.Full(kShipped[found->second.id]) == event.original;
        const bool isUnknown = event.error == ERROR_FILE_NOT_FOUND && event.original.empty() && k >= 0;
        const bool isReplaced = event.error == ERROR_FILE_INVALID && event.original.empty() && k >= 0 &&
                                (where[k] != kShipped[k] || unknown[k]) && sequence.disk.count(kShipped[k]);
        if (isMoved) ++figures.named, named[found->second.id] = true;
        if (isUnknown) ++figures.unknown;
        if (!isMoved && !isUnknown && !isReplaced)
            wrong << "an event names what is not so: \"" << ToMultiByte(event.text1) << "\" from \""
                  << ToMultiByte(event.original) << "\" (error " << event.error << ")\n";
    }
    bool allHome = true;
    for (int k = 0; k < kFiles; ++k) {
        allHome = allHome && where[k] == kShipped[k];
        if (where[k].empty() && !unknown[k]) ++figures.heardRemoved;
        if (!where[k].empty() && where[k] != kShipped[k] && !IsBelow(where[k], kMade) && !named[k] && !unknown[k])
            wrong << "left unnamed: " << ToMultiByte(kShipped[k]) << ", now " << ToMultiByte(where[k]) << "\n";
    }
    if (allHome && left) wrong << left << " events where every file of the package stayed at its name\n";
    if (rolledBack != (left == 0)) wrong << "IsRolledBack() " << rolledBack << " after " << left << " events\n";
    return wrong.str();
}

// Blocks of sequences, so that they run side by side.
class RollbackSequences : public ::testing::TestWithParam<int> {};

TEST_P(RollbackSequences, EachFileIsRemovedOrNamedWhereItIsOrToldUnknown)
{
    const std::wstring seedText = GetVariable(L"VL_ROLLBACK_SEED"), countText = GetVariable(L"VL_ROLLBACK_SEQUENCES"),
                       firstText = GetVariable(L"VL_ROLLBACK_FIRST");
    const uint32_t seed = seedText.empty() ? 5021 : std::wcstoul(seedText.c_str(), nullptr, 10);
    const int count = countText.empty() ? 75 : int(std::wcstoul(countText.c_str(), nullptr, 10));
    const int first = firstText.empty() ? GetParam() * count : int(std::wcstoul(firstText.c_str(), nullptr, 10));
    TestFolder folder;
    const std::wstring stepFiles[2] = {folder / L"a.txt", folder / L"b.txt"};
    PackageWriter writer;
    writer.root.Add(File(L"##tasks##.txt", Utf16File(L"runcheck 0 \"" + HelperProgram(L"vltest_steps.exe") + L"\" \"" +
                                                     stepFiles[0] + L"\" \"" + stepFiles[1] + L"\"")));
    PackageEntry sub = Folder(L"sub"), keep = Folder(L"keep");
    for (int k = 0; k < kFiles; ++k) {
        const std::wstring parent = kShipped[k].substr(0, kShipped[k].rfind(L'\\'));
        (parent == L"app"  ? writer.root
         : parent == kMade ? sub
                           : keep)
            .Add(File(GetFileName(kShipped[k]), Sequence::Shipped(k)));
    }
    writer.root.Add(sub);
    writer.root.Add(keep);
    ASSERT_TRUE(writer.WriteTo(folder / L"p.vlz"));
    Figures figures;
    int failed = 0;
    for (int n = first; n < first + count; ++n) {
        const std::wstring root = folder / (L"r" + std::to_wstring(n));
        std::seed_seq seedOfThis{seed, uint32_t(n)};
        const Sequence sequence(seedOfThis, root);
        for (const auto& [path, entry] : sequence.disk)
            ASSERT_TRUE(!entry.fixed || (entry.folder ? CreateDirectories(sequence.Full(path))
                                                      : WriteFileBytes(sequence.Full(path), entry.content)));
        for (int i = 0; i < 2; ++i) ASSERT_TRUE(WriteFileBytes(stepFiles[i], Utf16File(sequence.steps[i])));
        EventLog sink;
        VLSfxInstall install(folder / L"p.vlz");
        install.SetProgress(&sink);
        ASSERT_TRUE(install.Open());
        EXPECT_FALSE(install.Install(root + L"\\app"));
        std::string wrong;
        const auto ended = std::find_if(sink.events.begin(), sink.events.end(),
                                        [](const SeenEvent& event) { return event.code == kEventScriptFailed; });
        if (ended == sink.events.end() || ended->value3 != 1)
            wrong = "the program did not end as expected: " +
                    (ended == sink.events.end() ? std::string("no end") : std::to_string(ended->value3)) + "\n";
        else
            wrong = Judge(sequence, sink.events, install.IsRolledBack(), figures);
        // The first few in full, so that they can be run again by hand.
        if (!wrong.empty() && ++failed <= 5)
            ADD_FAILURE() << "seed " << seed << ", sequence " << n << ":\n"
                          << wrong << "A:\n"
                          << ToMultiByte(sequence.steps[0]) << "B:\n"
                          << ToMultiByte(sequence.steps[1]);
        DeleteTree(root);
    }
    EXPECT_EQ(failed, 0) << "of " << count << " sequences";
    // How well the record kept up: files named where they went, files told
    // unknown, and deleted files heard deleted.
    std::printf("%d sequences: %d named, %d told unknown, %d heard removed\n", count, figures.named, figures.unknown,
                figures.heardRemoved);
}

INSTANTIATE_TEST_SUITE_P(Blocks, RollbackSequences, ::testing::Values(0, 1));

} // namespace
} // namespace Velora
