// Where the changes a watch heard lead the install's files: a node per name
// that leads to one of them, or that a change made, and a rename moves one
// node, a folder's as a file's. Each change costs one look-up by name,
// whatever was heard before it; a name used again elsewhere takes nothing
// from the install's files.
//
// The system names a change by the path of the folder it happened in, and
// Wine spells that path with the names its folders had when it first saw
// them (made, or first opened, while it watched): a folder renamed or moved
// is still named as it was, so the names a folder's changes are reported by
// lead to its node wherever it is now. Windows spells the path as it is now,
// which leads there too. Where two folders share such a name, or Wine stops
// hearing one, the changes may lead astray: they are leads, which the
// install checks against the file itself (install/HeldFiles.h), never proof.
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
    // Takes in what one watch of the folder heard, after what the watches
    // before it heard.
    void Follow(const std::wstring& folder, const std::vector<VLFolderChanges::Change>& changes);

    struct Fate {
        // Where the changes lead the file; its key where they never moved it.
        std::wstring path;
        // Heard removed, or put an end to by another file taking its name.
        bool removed = false;
    };
    Fate FateOf(size_t file) const;
    // Every name a change made that still stands, as far as the changes
    // tell: where a file moved between folders may be when the system
    // reported the move as a removal and an addition.
    std::vector<std::wstring> Made() const;

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
        // Taken out of its folder; its parent stays, to tell what it was.
        bool removed = false;
        // One of the install's files: never a folder the system knows.
        bool file = false;
        // Known to be a folder: something was heard in it.
        bool folder = false;
    };

    Node* Add(Node* folder, const std::wstring& name);
    // The node of a path; below a watch's folder, the path as the system
    // reports it. create: makes the steps no change has named before.
    Node* Resolve(Node* from, const std::wstring& path, bool create);
    // What had the name in the folder is gone: removed, or replaced.
    static void End(Node* folder, const std::wstring& name);
    // The system knows the node by the name in the folder from now on.
    static void Know(Node* folder, const std::wstring& name, Node* node);
    // The system forgets the node.
    static void Forget(Node* node);
    // A new watch knows each folder by its name now.
    static void Reset(Node* folder);
    // Removed, itself or with a folder it was in.
    static bool IsRemoved(const Node* node);
    static bool IsWithin(const Node* node, const Node* folder);
    static std::wstring PathOf(const Node* node);

    std::deque<Node> nodes_;
    std::vector<Node*> files_;
    // The nodes the changes made.
    std::vector<const Node*> made_;
};

} // namespace Velora
