// Where the changes a watch heard lead the install's files: a node per name
// that leads to one of them, or that a change made, and a rename moves one
// node, a folder's as a file's. Each change costs one look-up by name,
// whatever was heard before it; a name used again elsewhere takes nothing
// from the install's files.
//
// The system names a change by the path of the folder it happened in, and
// Wine spells that path with the names its folders had when it first saw
// them (made, or first opened, while it watched): a folder renamed or moved
// is still named as it was. So the names a folder's changes are reported by
// lead to its node wherever it is now. Once a name a renamed folder is still
// reported by is taken by another, the changes named through it may be
// either folder's: the renamed folder, and whatever such a change moves or
// removes, are in doubt. And once Wine may have stopped hearing a folder
// (it forgets the first folder it knew by a name that is removed, and keeps
// one removed under another name in its books, where a new folder may take
// its index), a move into it is heard as a removal: every removal after that
// is in doubt.
#pragma once

#include "base/FolderChanges.h"

#include <windows.h>

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace Velora {

// Names in the order the file system sees them: case folded. The names below
// a folder ("sub\...") come one after another.
struct NameOrder {
    bool operator()(const std::wstring& a, const std::wstring& b) const
    {
        return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_LESS_THAN;
    }
};

class VLNameTree {
public:
    VLNameTree();
    VLNameTree(const VLNameTree&) = delete;
    VLNameTree& operator=(const VLNameTree&) = delete;

    // The install's file number `file`, at its path key.
    void Place(const std::wstring& key, size_t file);
    // Takes in what one watch heard, after what the watches before it heard.
    void Follow(const VLFolderChanges& watch);

    struct Fate {
        // Where the changes lead the file; its key where they never moved it.
        std::wstring path;
        // Heard removed, or put an end to by another file taking its name.
        bool removed = false;
        // The changes cannot tell: some were lost, came through a name two
        // folders had, or the file is below no watched folder.
        bool doubtful = false;
    };
    Fate FateOf(size_t file) const;

private:
    struct Node {
        Node* parent = nullptr;
        std::wstring name;
        std::map<std::wstring, Node*, NameOrder> children;
        // The folders below by the names the system first knew them by,
        // oldest first: a folder removed under another name stays in its
        // books.
        std::map<std::wstring, std::vector<Node*>, NameOrder> known;
        // Where the system knows it, if it does.
        Node* knownIn = nullptr;
        std::wstring knownAs;
        // The change that took it out of its folder; its parent stays, to
        // tell what it was.
        size_t removedAt = SIZE_MAX;
        bool doubtful = false;
        bool watched = false;
        // One of the install's files: never a folder the system knows.
        bool file = false;
        // Known to be a folder: something was heard in it.
        bool folder = false;
    };
    struct Found {
        Node* node = nullptr;
        bool shared = false;
    };

    Node* Add(Node* folder, const std::wstring& name);
    // The node of a path; below a watch's folder, the path as the system
    // reports it. create: makes the steps no change has named before.
    Found Resolve(Node* from, const std::wstring& path, bool create);
    // What had the name in the folder is gone: removed, or replaced.
    void End(Node* folder, const std::wstring& name, bool shared);
    // The system knows the node by the name in the folder from now on; a
    // live folder it knows by the same name is in doubt.
    void Know(Node* folder, const std::wstring& name, Node* node);
    // The system forgets the node, and stops hearing the folders it knew
    // below it that were moved out of it.
    void Forget(Node* node);
    // From the change on, a folder may go unheard, if the node is a folder.
    void MayDeafen(Node* node) { deafening_.push_back({node, at_}); }
    // A new watch knows each folder by its name now.
    static void Reset(Node* folder);
    // Removed, itself or with a folder it was in; the change, or SIZE_MAX.
    static size_t RemovedAt(const Node* node);
    static bool IsWithin(const Node* node, const Node* folder);
    static std::wstring PathOf(const Node* node);

    std::deque<Node> nodes_;
    std::vector<Node*> files_;
    // The changes of every watch, numbered in order.
    size_t at_ = 0;
    std::vector<std::pair<Node*, size_t>> deafening_;
    // From this change on a folder may have gone unheard, so that a removal
    // may be a move into it.
    size_t deafAt_ = SIZE_MAX;
};

} // namespace Velora
