#include "install/NameTree.h"

#include <algorithm>

namespace Velora {

namespace {

// "C:\a\b" as C:, a, b.
std::vector<std::wstring> Steps(const std::wstring& path)
{
    std::vector<std::wstring> steps;
    for (size_t start = 0;;) {
        const size_t end = path.find(L'\\', start);
        steps.push_back(path.substr(start, end == std::wstring::npos ? end : end - start));
        if (end == std::wstring::npos) return steps;
        start = end + 1;
    }
}

// "sub\file" as "sub" and "file".
void Split(const std::wstring& name, std::wstring& folder, std::wstring& leaf)
{
    const size_t last = name.find_last_of(L'\\');
    folder = last == std::wstring::npos ? std::wstring() : name.substr(0, last);
    leaf = name.substr(last + 1);
}

// A drive's root keeps its separator ("C:\"); its steps do not.
std::wstring Trimmed(std::wstring key)
{
    if (!key.empty() && key.back() == L'\\') key.pop_back();
    return key;
}

} // namespace

// The first node stands above every drive.
VLNameTree::VLNameTree() : nodes_(1) {}

VLNameTree::Node* VLNameTree::Add(Node* folder, const std::wstring& name)
{
    Node& node = nodes_.emplace_back();
    node.parent = folder;
    node.name = name;
    folder->children[name] = &node;
    folder->folder = true;
    return &node;
}

void VLNameTree::Place(const std::wstring& key, size_t file)
{
    if (files_.size() <= file) files_.resize(file + 1);
    files_[file] = Resolve(&nodes_.front(), Trimmed(key), true);
    files_[file]->file = true;
}

VLNameTree::Node* VLNameTree::Resolve(Node* from, const std::wstring& path, bool create)
{
    Node* found = from;
    if (path.empty()) return found;
    for (const std::wstring& step : Steps(path)) {
        Node* folder = found;
        // The newest live folder the system knows by the name.
        Node* newest = nullptr;
        const auto known = folder->known.find(step);
        if (known != folder->known.end())
            for (Node* node : known->second)
                if (!IsRemoved(node)) newest = node;
        const auto child = folder->children.find(step);
        if (newest) {
            found = newest;
        } else if (child != folder->children.end()) {
            found = child->second;
        } else if (create) {
            found = Add(folder, step);
            Know(folder, step, found);
        } else {
            return nullptr;
        }
    }
    return found;
}

bool VLNameTree::IsRemoved(const Node* node)
{
    for (; node; node = node->parent)
        if (node->removed) return true;
    return false;
}

bool VLNameTree::IsWithin(const Node* node, const Node* folder)
{
    for (; node; node = node->parent)
        if (node == folder) return true;
    return false;
}

std::wstring VLNameTree::PathOf(const Node* node)
{
    std::wstring path;
    for (; node->parent; node = node->parent) path = path.empty() ? node->name : node->name + L'\\' + path;
    return path;
}

void VLNameTree::End(Node* folder, const std::wstring& name)
{
    const auto child = folder->children.find(name);
    if (child == folder->children.end()) return;
    child->second->removed = true;
    folder->children.erase(child);
}

void VLNameTree::Know(Node* folder, const std::wstring& name, Node* node)
{
    if (node->file) return;
    std::vector<Node*>& known = folder->known[name];
    // What is gone and no known folder changes nothing the system will say:
    // a name saved through again and again keeps a short list.
    known.erase(std::remove_if(known.begin(), known.end(),
                               [](Node* other) {
                                   const bool gone = IsRemoved(other) && !other->folder;
                                   if (gone) other->knownIn = nullptr;
                                   return gone;
                               }),
                known.end());
    known.push_back(node);
    node->knownIn = folder;
    node->knownAs = name;
}

void VLNameTree::Forget(Node* node)
{
    std::vector<Node*>& known = node->knownIn->known[node->knownAs];
    known.erase(std::find(known.begin(), known.end(), node));
    node->knownIn = nullptr;
}

void VLNameTree::Reset(Node* folder)
{
    folder->known.clear();
    for (const auto& [name, child] : folder->children) {
        child->knownIn = nullptr;
        if (child->file) continue;
        folder->known[name] = {child};
        child->knownIn = folder;
        child->knownAs = name;
        Reset(child);
    }
}

void VLNameTree::Follow(const std::wstring& watched, const std::vector<VLFolderChanges::Change>& changes)
{
    Node* root = Resolve(&nodes_.front(), Trimmed(watched), true);
    Reset(root);
    std::wstring folder, leaf, toFolder, toLeaf;
    for (size_t i = 0; i < changes.size(); ++i) {
        Split(changes[i].name, folder, leaf);
        const DWORD action = changes[i].action;
        // A rename is heard as its old name, then its new one; an old name
        // alone is a removal, a new name alone a file made.
        const bool renamed = action == FILE_ACTION_RENAMED_OLD_NAME && i + 1 < changes.size() &&
                             changes[i + 1].action == FILE_ACTION_RENAMED_NEW_NAME;
        if (action == FILE_ACTION_REMOVED || (action == FILE_ACTION_RENAMED_OLD_NAME && !renamed)) {
            Node* from = Resolve(root, folder, false);
            if (!from) continue;
            End(from, leaf);
            // The system forgets the first folder it knew by the name, which
            // may be another one, renamed since; it keeps one removed under
            // another name than it knew.
            const auto known = from->known.find(leaf);
            if (known != from->known.end() && !known->second.empty()) Forget(known->second.front());
            continue;
        }
        Node* from = renamed ? Resolve(root, folder, false) : nullptr;
        Node* moving = from && from->children.count(leaf) ? from->children[leaf] : nullptr;
        if (renamed)
            Split(changes[++i].name, toFolder, toLeaf);
        else
            toFolder = folder, toLeaf = leaf;
        // Made, or renamed to: it puts an end to what had the name. Kept
        // wherever it is, as the system's books are.
        Node* to = Resolve(root, toFolder, true);
        // Into itself: the names two folders share led astray.
        if (moving && IsWithin(to, moving)) continue;
        if (moving) from->children.erase(leaf);
        End(to, toLeaf);
        if (moving) {
            // The system still knows it by the name it had.
            moving->parent = to;
            moving->name = toLeaf;
            to->children[toLeaf] = moving;
            to->folder = true;
        } else {
            made_.push_back(Add(to, toLeaf));
            Know(to, toLeaf, to->children[toLeaf]);
        }
    }
}

VLNameTree::Fate VLNameTree::FateOf(size_t file) const
{
    return {PathOf(files_[file]), IsRemoved(files_[file])};
}

std::vector<std::wstring> VLNameTree::Made() const
{
    std::vector<std::wstring> paths;
    for (const Node* node : made_)
        if (!IsRemoved(node) && !node->file) paths.push_back(PathOf(node));
    return paths;
}

} // namespace Velora
