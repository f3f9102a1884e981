// Sequences of what installers and other programs do with a package's files
// while its program runs, drawn from a seed, each ending in a failed install
// judged against a model of the disk: what the rollback deletes, what it
// leaves and which files it names. VL_ROLLBACK_SEED, VL_ROLLBACK_SEQUENCES
// and VL_ROLLBACK_FIRST choose others (scripts/rollback-sequences.sh).
#include "install/SfxInstall.h"

#include "base/FileUtil.h"
#include "base/TextConvert.h"
#include "tests/install/InstallTestUtil.h"
#include "tests/support/PackageWriter.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>

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

bool IsBelow(const std::wstring& path, const std::wstring& folder)
{
    return path == folder || path.rfind(folder + L"\\", 0) == 0;
}

struct Entry {
    bool folder = false, fixed = false; // fixed: the user's, which no program touches
    int id = -1;                        // a file's: kept through move, append and touch
    std::string content;
};

// The disk as the steps leave it, and the steps of the package's program
// (A) and of the program it starts (B), which works only in "side\o", so
// that the end does not depend on how the two interleave.
struct Sequence {
    Sequence(uint32_t seed, int n, const std::wstring& root) : root(root)
    {
        std::seed_seq seedOfThis{seed, uint32_t(n)};
        random.seed(seedOfThis);
        for (const wchar_t* folder : {L"app", L"app\\keep", L"side"}) disk[folder] = {true, true};
        for (const wchar_t* file : {L"app\\u.txt", L"app\\keep\\k.txt", L"side\\s.txt"})
            disk[file] = {false, true, next++, "user's"};
        disk[kMade] = {true};
        for (int k = 0; k < kFiles; ++k) disk[kShipped[k]] = {false, false, k, "shipped " + std::to_string(k)};
        steps[0] = L"list\t" + Full(L"side") + L"\n";
        Md(true, kOwn);
        std::discrete_distribution<int> act({3, 3, 5, 3, 2, 2, 2, 2, 2, 2, 1});
        for (int done = 0, count = int(5 + random() % 26); done < count;) done += Act(random() % 3 == 0, act(random));
    }
    std::wstring Full(const std::wstring& path) const { return root + L"\\" + path; }
    // One of the program's own entries; movable: none of the user's.
    std::wstring Any(bool b, bool folder, bool movable)
    {
        std::vector<std::wstring> paths;
        for (const auto& [path, entry] : disk)
            if (IsBelow(path, kOwn) == b && entry.folder == folder && !(movable && (entry.fixed || path == kOwn)))
                paths.push_back(path);
        return paths.empty() ? L"" : paths[random() % paths.size()];
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
    void Step(bool b, const wchar_t* verb, const std::wstring& path, const std::wstring& argument = L"")
    {
        steps[b] += verb + (L"\t" + Full(path)) + (argument.empty() ? L"" : L"\t" + argument) + L"\n";
    }
    int Put(bool b, const std::wstring& path, const char* how = "w", const wchar_t* verb = L"write")
    {
        disk[path] = {false, false, next, how + std::to_string(next)};
        ++next;
        Step(b, verb, path, ToWideString(disk[path].content));
        return 1;
    }
    // A file or a folder with all below it, over a file that had the name.
    int Move(bool b, const std::wstring& from, const std::wstring& to)
    {
        disk.erase(to);
        std::map<std::wstring, Entry> moved;
        for (auto it = disk.begin(); it != disk.end();)
            if (IsBelow(it->first, from)) {
                moved[to + it->first.substr(from.size())] = it->second;
                it = disk.erase(it);
            } else {
                ++it;
            }
        disk.merge(moved);
        Step(b, L"move", from, Full(to));
        return 1;
    }
    int Md(bool b, const std::wstring& folder)
    {
        disk[folder] = {true};
        Step(b, L"md", folder);
        return 1;
    }
    // Write, save through a temporary file, move a file, move a folder, keep
    // a folder and make it again, delete, delete and make again, append,
    // touch, make a folder, remove one; the steps it wrote.
    int Act(bool b, int act)
    {
        const std::wstring file = Any(b, false, true), folder = Any(b, true, true), into = Any(b, true, false);
        switch (act) {
        case 0: return Put(b, NewName(into, false));
        case 1: return file.empty() ? 0 : Put(b, file, "saved ", L"save");
        case 2: {
            if (file.empty()) return 0;
            const std::wstring to = random() % 3 ? NewName(into, false) : into + file.substr(file.rfind(L'\\'));
            return to == file || (disk.count(to) && (disk[to].folder || disk[to].fixed)) ? 0 : Move(b, file, to);
        }
        case 3:
        case 4: {
            if (folder.empty() || (act == 3 && IsBelow(into, folder))) return 0;
            const std::wstring to = NewName(act == 3 ? into : folder.substr(0, folder.rfind(L'\\')), true);
            if (Move(b, folder, to) && act == 3) return 1;
            return Md(b, folder) + (random() % 2 ? 1 + Put(b, NewName(folder, false)) : 1);
        }
        case 5:
        case 6:
            if (file.empty()) return 0;
            disk.erase(file);
            Step(b, L"del", file);
            return act == 5 ? 1 : 1 + Put(b, file);
        case 7: {
            // Short enough that a listing shows it whole.
            if (file.empty() || disk[file].content.size() > 28) return 0;
            const std::string more = "+" + std::to_string(random() % 100);
            disk[file].content += more;
            Step(b, L"append", file, ToWideString(more));
            return 1;
        }
        case 8:
            if (!file.empty()) Step(b, L"touch", file);
            return !file.empty();
        case 9: return Md(b, NewName(into, true));
        default:
            if (folder.empty()) return 0;
            for (const auto& [path, entry] : disk)
                if (IsBelow(path, folder) && entry.fixed) return 0;
            for (auto it = disk.begin(); it != disk.end();) it = IsBelow(it->first, folder) ? disk.erase(it) : ++it;
            Step(b, L"rd", folder);
            return 1;
        }
    }

    const std::wstring root;
    std::mt19937 random;
    int next = kFiles;
    std::map<std::wstring, Entry> disk;
    std::wstring steps[2];
};

std::multiset<std::string> Lines(const std::string& text)
{
    std::multiset<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.insert(line);
    return lines;
}

// What is wrong after the rollback; empty when nothing.
std::string Judge(Sequence& sequence, const std::vector<SeenEvent>& events, bool rolledBack)
{
    std::ostringstream wrong;
    std::vector<std::wstring> where(kFiles);
    std::vector<bool> named(kFiles), unknown(kFiles);
    const auto shippedAt = [&](const std::wstring& full) {
        for (int k = 0; k < kFiles; ++k)
            if (sequence.Full(kShipped[k]) == full) return k;
        return -1;
    };
    for (const SeenEvent& event : events)
        if (event.code == kEventDeleteFailed && event.error == ERROR_FILE_NOT_FOUND && event.original.empty() &&
            shippedAt(event.text1) >= 0)
            unknown[shippedAt(event.text1)] = true;
    // The rollback deletes a file of the package where its name leads to it
    // (one told unknown may stay), and the folder it made, whatever is in it.
    std::string expected;
    for (const auto& [path, entry] : sequence.disk) {
        const bool shipped = !entry.folder && entry.id >= 0 && entry.id < kFiles;
        if (shipped) where[entry.id] = path;
        if (!IsBelow(path, kMade) &&
            !(shipped && path == kShipped[entry.id] && !(unknown[entry.id] && PathExists(sequence.Full(path)))))
            expected += ToMultiByte(path) + (entry.folder ? "\\" : " = " + entry.content) + "\n";
    }
    const std::string listing = TreeListing(sequence.root);
    if (Lines(listing) != Lines(expected)) wrong << "the disk:\n" << listing << "where the model has:\n" << expected;
    size_t left = 0;
    for (const SeenEvent& event : events) {
        if (event.code != kEventDeleteFailed) continue;
        ++left;
        const std::wstring below = sequence.Full(L"");
        const auto now = sequence.disk.find(event.text1.rfind(below, 0) ? L"" : event.text1.substr(below.size()));
        const int k = shippedAt(event.text1), moved = now == sequence.disk.end() ? -1 : now->second.id;
        if (event.error == ERROR_FILE_NOT_FOUND && !event.original.empty() && moved >= 0 && moved < kFiles &&
            !now->second.folder && sequence.Full(kShipped[moved]) == event.original)
            named[moved] = true;
        else if (!(event.error == ERROR_FILE_NOT_FOUND && event.original.empty() && k >= 0) &&
                 !(event.error == ERROR_FILE_INVALID && event.original.empty() && k >= 0 &&
                   (where[k] != kShipped[k] || unknown[k]) && sequence.disk.count(kShipped[k])))
            wrong << "an event names what is not so: \"" << ToMultiByte(event.text1) << "\" from \""
                  << ToMultiByte(event.original) << "\" (error " << event.error << ")\n";
    }
    bool home = true;
    for (int k = 0; k < kFiles; ++k) {
        home = home && where[k] == kShipped[k];
        if (!where[k].empty() && where[k] != kShipped[k] && !IsBelow(where[k], kMade) && !named[k] && !unknown[k])
            wrong << "left unnamed: " << ToMultiByte(kShipped[k]) << ", now " << ToMultiByte(where[k]) << "\n";
    }
    if (home && left) wrong << left << " events where every file of the package stayed at its name\n";
    if (rolledBack != (left == 0)) wrong << "IsRolledBack() " << rolledBack << " after " << left << " events\n";
    return wrong.str();
}

// Blocks of sequences, so that they run side by side.
class RollbackSequences : public ::testing::TestWithParam<int> {};

TEST_P(RollbackSequences, EachFileIsRemovedOrNamedWhereItIsOrToldUnknown)
{
    const auto number = [](const wchar_t* name, int otherwise) {
        const std::wstring text = GetVariable(name);
        return text.empty() ? otherwise : int(std::wcstoul(text.c_str(), nullptr, 10));
    };
    const uint32_t seed = uint32_t(number(L"VL_ROLLBACK_SEED", 5021));
    const int count = number(L"VL_ROLLBACK_SEQUENCES", 75), first = number(L"VL_ROLLBACK_FIRST", GetParam() * count);
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
    int failed = 0;
    for (int n = first; n < first + count; ++n) {
        Sequence sequence(seed, n, folder / (L"r" + std::to_wstring(n)));
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
                wrong = Judge(sequence, sink.events, install.IsRolledBack());
        if (!wrong.empty() && ++failed <= 5)
            ADD_FAILURE() << "seed " << seed << ", sequence " << n << ":\n"
                          << wrong << "A:\n"
                          << ToMultiByte(sequence.steps[0]) << "B:\n"
                          << ToMultiByte(sequence.steps[1]);
        DeleteTree(sequence.root);
    }
    EXPECT_EQ(failed, 0) << "of " << count << " sequences";
}

INSTANTIATE_TEST_SUITE_P(Blocks, RollbackSequences, ::testing::Values(0, 1));

} // namespace
} // namespace Velora
