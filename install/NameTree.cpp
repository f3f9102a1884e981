#include "install/NameTree.h"

#include "base/FileUtil.h"

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
    files_[file] = Resolve(&nodes_.front(), Trimmed(key), true).node;
    files_[file]->file = true;
}

VLNameTree::Found VLNameTree::Resolve(Node* from, const std::wstring& path, bool create)
{
    Found found{from, false};
    if (path.empty()) return found;
    for (const std::wstring& step : Steps(path)) {
        Node* folder = found.node;
        // The newest live folder the system knows by the name; where it
        // knows more than one, the change may be another's.
        Node* newest = nullptr;
        const auto known = folder->known.find(step);
        if (known != folder->known.end())
            for (Node* node : known->second)
                if (RemovedAt(node) == SIZE_MAX) {
                    found.shared = found.shared || newest;
                    newest = node;
                }
        const auto child = folder->children.find(step);
        if (newest) {
            found.node = newest;
        } else if (child != folder->children.end()) {
            found.node = child->second;
        } else if (create) {
            found.node = Add(folder, step);
            Know(folder, step, found.node);
        } else {
            return Found();
        }
    }
    return found;
}

size_t VLNameTree::RemovedAt(const Node* node)
{
    for (; node; node = node->parent)
        if (node->removedAt != SIZE_MAX) return node->removedAt;
    return SIZE_MAX;
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

void VLNameTree::End(Node* folder, const std::wstring& name, bool shared)
{
    const auto child = folder->children.find(name);
    if (child == folder->children.end()) return;
    child->second->removedAt = at_;
    child->second->doubtful = child->second->doubtful || shared;
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
                                   const bool gone = RemovedAt(other) != SIZE_MAX;
                                   if (gone && !other->folder) other->knownIn = nullptr;
                                   other->doubtful = other->doubtful || !gone;
                                   return gone && !other->folder;
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
    for (const auto& [name, below] : node->known)
        for (Node* moved : below)
            if (RemovedAt(moved) == SIZE_MAX && !IsWithin(moved, node)) {
                moved->doubtful = true;
                MayDeafen(moved);
            }
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

void VLNameTree::Follow(const VLFolderChanges& watch)
{
    Node* root = Resolve(&nodes_.front(), Trimmed(watch.Folder()), true).node;
    root->watched = true;
    root->doubtful = root->doubtful || !watch.IsComplete();
    Reset(root);
    const std::vector<VLFolderChanges::Change>& changes = watch.Changes();
    std::wstring folder, leaf, toFolder, toLeaf;
    for (size_t i = 0; i < changes.size(); ++i, ++at_) {
        Split(changes[i].name, folder, leaf);
        const DWORD action = changes[i].action;
        // A rename is heard as its old name, then its new one; an old name
        // alone is a removal, a new name alone a file made.
        const bool renamed = action == FILE_ACTION_RENAMED_OLD_NAME && i + 1 < changes.size() &&
                             changes[i + 1].action == FILE_ACTION_RENAMED_NEW_NAME;
        if (action == FILE_ACTION_REMOVED || (action == FILE_ACTION_RENAMED_OLD_NAME && !renamed)) {
            const Found from = Resolve(root, folder, false);
            if (!from.node) continue;
            const auto child = from.node->children.find(leaf);
            Node* removed = child == from.node->children.end() ? nullptr : child->second;
            End(from.node, leaf, from.shared);
            // The system forgets the first folder it knew by the name: where
            // that is another one, renamed since, it stops hearing it, and
            // keeps the one removed in its books. A folder removed under
            // another name than the one it knew stays in its books too. A
            // folder made later may take the index of one kept so, and go
            // unheard.
            const auto known = from.node->known.find(leaf);
            Node* first = known == from.node->known.end() || known->second.empty() ? nullptr : known->second.front();
            if (first && first != removed && RemovedAt(first) == SIZE_MAX) {
                first->doubtful = true;
                MayDeafen(first);
            }
            if (first) Forget(first);
            if (removed && removed->knownIn) MayDeafen(removed);
            continue;
        }
        const Found from = renamed ? Resolve(root, folder, false) : Found();
        Node* moving = from.node && from.node->children.count(leaf) ? from.node->children[leaf] : nullptr;
        if (renamed)
            Split(changes[++i].name, toFolder, toLeaf);
        else
            toFolder = folder, toLeaf = leaf;
        // Made, or renamed to: it puts an end to what had the name. Kept
        // wherever it is, as the system's books are: what happens to another
        // program's folder may leave a later change of the install's unheard.
        const Found to = Resolve(root, toFolder, true);
        if (moving && IsWithin(to.node, moving)) {
            // Into itself: the names two folders share led astray.
            moving->doubtful = true;
            continue;
        }
        if (moving) from.node->children.erase(leaf);
        End(to.node, toLeaf, to.shared);
        if (moving) {
            // The system still knows it by the name it had.
            moving->parent = to.node;
            moving->name = toLeaf;
            to.node->children[toLeaf] = moving;
            to.node->folder = true;
            const auto known = to.node->known.find(toLeaf);
            if (known != to.node->known.end())
                for (Node* other : known->second) other->doubtful = other->doubtful || other != moving;
        } else {
            moving = Add(to.node, toLeaf);
            Know(to.node, toLeaf, moving);
        }
        moving->doubtful = moving->doubtful || from.shared || to.shared;
    }
    // Whether each folder that may have gone unheard is one: known to be, a
    // folder where it is now, or, gone, maybe an empty one.
    for (const auto& [node, at] : deafening_)
        if (node->folder || RemovedAt(node) != SIZE_MAX || DirectoryExists(PathOf(node)))
            deafAt_ = std::min(deafAt_, at);
    deafening_.clear();
}

VLNameTree::Fate VLNameTree::FateOf(size_t file) const
{
    Fate fate;
    bool watched = false;
    for (const Node* node = files_[file]; node->parent; node = node->parent) {
        fate.doubtful = fate.doubtful || node->doubtful;
        watched = watched || node->watched;
    }
    const size_t removedAt = RemovedAt(files_[file]);
    fate.removed = removedAt != SIZE_MAX;
    // A removal heard once a folder may have gone unheard may be a move into
    // it.
    fate.doubtful = fate.doubtful || !watched || (fate.removed && removedAt >= deafAt_);
    fate.path = PathOf(files_[file]);
    return fate;
}

} // namespace Velora
