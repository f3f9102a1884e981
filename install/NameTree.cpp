#include "install/NameTree.h"

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
        const auto reported = folder->reported.find(step);
        if (reported != folder->reported.end() && !IsGone(reported->second.node)) {
            found.node = reported->second.node;
            found.shared = found.shared || reported->second.shared;
            continue;
        }
        const auto child = folder->children.find(step);
        if (child != folder->children.end()) {
            found.node = child->second;
        } else if (create) {
            found.node = Add(folder, step);
            Claim(folder, step, found.node);
        } else {
            return Found();
        }
    }
    return found;
}

bool VLNameTree::IsGone(const Node* node)
{
    for (; node; node = node->parent)
        if (node->removed) return true;
    return false;
}

void VLNameTree::End(Node* folder, const std::wstring& name, bool shared)
{
    const auto child = folder->children.find(name);
    if (child == folder->children.end()) return;
    child->second->removed = true;
    child->second->doubtful = child->second->doubtful || shared;
    folder->children.erase(child);
}

void VLNameTree::Claim(Node* folder, const std::wstring& name, Node* node)
{
    if (node->file) return;
    Reported& reported = folder->reported[name];
    const bool other = reported.node && reported.node != node && reported.node->folder && !IsGone(reported.node);
    if (other) reported.node->doubtful = true;
    reported = {node, reported.shared || other};
}

void VLNameTree::Reset(Node* folder)
{
    folder->reported.clear();
    for (const auto& [name, child] : folder->children) {
        child->renamed = false;
        if (child->file) continue;
        folder->reported[name] = {child, false};
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
    for (size_t i = 0; i < changes.size(); ++i) {
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
            // Once Wine may have stopped hearing a folder, a move into it is
            // heard as a removal, like a file deleted.
            End(from.node, leaf, from.shared || deaf_);
            // Wine stops hearing the first folder it knew by the name, which
            // may be another one renamed since, and the folders it knew below
            // the one removed, moved out of it since.
            const auto reported = from.node->reported.find(leaf);
            if (reported != from.node->reported.end()) {
                deaf_ = deaf_ || reported->second.shared;
                Deafen(reported->second.node);
                from.node->reported.erase(reported);
            }
            // A folder removed under another name than the one Wine knew it
            // by stays in Wine's books, and a folder made later may take its
            // index and go unheard.
            if (removed && removed->folder && removed->renamed) deaf_ = true;
            if (removed)
                for (const auto& [name, below] : removed->reported) Deafen(below.node);
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
            moving->renamed = true;
            moving->parent = to.node;
            moving->name = toLeaf;
            to.node->children[toLeaf] = moving;
            to.node->folder = true;
        } else {
            moving = Add(to.node, toLeaf);
        }
        moving->doubtful = moving->doubtful || from.shared || to.shared;
        Claim(to.node, toLeaf, moving);
    }
}

void VLNameTree::Deafen(Node* node)
{
    if (!node->folder || IsGone(node)) return;
    node->doubtful = true;
    deaf_ = true;
}

bool VLNameTree::IsWithin(const Node* node, const Node* folder)
{
    for (; node; node = node->parent)
        if (node == folder) return true;
    return false;
}

VLNameTree::Fate VLNameTree::FateOf(size_t file) const
{
    Fate fate;
    bool watched = false;
    for (const Node* node = files_[file]; node->parent; node = node->parent) {
        fate.removed = fate.removed || node->removed;
        fate.doubtful = fate.doubtful || node->doubtful;
        watched = watched || node->watched;
        fate.path = fate.path.empty() ? node->name : node->name + L'\\' + fate.path;
    }
    fate.doubtful = fate.doubtful || !watched;
    return fate;
}

} // namespace Velora
