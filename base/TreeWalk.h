// A depth-first walk over a tree on a stack of levels kept here rather than
// on the thread's stack: key trees nest thousands deep, which recursion would
// not survive. Each node is entered and left once, so the walk costs time in
// proportion to the number of nodes whatever their depth.
#pragma once

#include <utility>
#include <vector>

namespace Velora {

// Starts at top, a level already entered. descend(level, child) enters the
// next child of the innermost level into child, a fresh level, and answers
// true, or answers false when the level has no child left; the level is then
// left: leave(level, parent) is called with the level above it, null for top.
template <typename Level, typename Descend, typename Leave>
void WalkTree(Level top, Descend descend, Leave leave)
{
    std::vector<Level> levels;
    levels.push_back(std::move(top));
    while (!levels.empty()) {
        Level child{};
        if (descend(levels.back(), child)) {
            levels.push_back(std::move(child));
            continue;
        }
        Level done = std::move(levels.back());
        levels.pop_back();
        leave(done, levels.empty() ? nullptr : &levels.back());
    }
}

} // namespace Velora
