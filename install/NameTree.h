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
    struct Node;
    // A name the system reports a folder's changes by, and whether another
    // folder may have been reported by it since.
    struct Reported {
        Node* node = nullptr;
        bool shared = false;
    };
    struct Node {
        Node* parent = nullptr;
        std::wstring name;
        std::map<std::wstring, Node*, NameOrder> children;
        std::map<std::wstring, Reported, NameOrder> reported;
        // Taken out of its folder; its parent stays, to tell what it was.
        bool removed = false;
        bool doubtful = false;
        bool watched = false;
        // One of the install's files: never a folder the system reports by
        // its name.
        bool file = false;
        // Known to be a folder: something was heard in it. An empty folder
        // is not told from a file.
        bool folder = false;
        // Moved since the system first knew it by its name.
        bool renamed = false;
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
    // The name in the folder now leads to the node; a live folder the
    // system may still report by it is in doubt from now on, unless the
    // node is one of the install's files.
    void Claim(Node* folder, const std::wstring& name, Node* node);
    // A new watch names each folder as it is now.
    static void Reset(Node* folder);
    // Removed, itself or with a folder it was in.
    static bool IsGone(const Node* node);
    static bool IsWithin(const Node* node, const Node* folder);
    // The system may no longer hear the live folder's changes.
    void Deafen(Node* node);

    std::deque<Node> nodes_;
    // Some folder's changes may go unheard: a removal may be a move into it.
    bool deaf_ = false;
    std::vector<Node*> files_;
};

} // namespace Velora
