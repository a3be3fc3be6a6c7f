#pragma once

#include "platform/FileEntry.h"

#include <QString>

#include <functional>
#include <stop_token>

namespace tarnwick {

// The bounded, iterative walk of a folder's subtree that the finders share.
//
// Entries come depth first in pre-order: an entry, then (for a folder the
// walk enters) everything below it, then its next sibling; the entries of each
// folder sorted by the bytes of their names. The visitor sees every entry and
// decides what happens next, so a caller states its own bound ("stop once
// 8,000 entries were seen") and its own rules ("do not go into this folder").
//
// Links are never followed: a link is an entry of its own and is never
// entered, whatever it points to. A folder is entered through a descriptor
// relative to its parent, checked to be the folder that was looked at. A
// folder that cannot be opened or read is an entry like any other, only with
// nothing below it. Only a bounded number of descriptors stay open, however
// deep the tree.
class FolderWalk {
public:
    enum class Step {
        proceed,          // go on, entering this entry when it is a folder the walk enters
        skipDescendants,  // go on, but not below this entry
        stop,             // end the walk
    };

    struct Options {
        bool includeHidden = false;  // false: entries named ".*" are neither seen nor entered
        bool enterPackages = true;   // false: a package below the root is seen but not entered
        // false: the visitor is given only the entry's type (from the listing
        // where it tells); the sizes, dates and owner stay 0.
        bool readValues = true;
    };

    // depth is 1 for the root's own entries, 2 below them, and so on.
    using Visitor = std::function<Step(const FileEntry& entry, int depth)>;

    // Walks below root; root itself is not visited and is entered even when it
    // is a package. A stop request ends the walk before the next entry. False
    // when root cannot be opened as a folder (missing, a file, a link, no
    // permission); true otherwise, however the walk ended.
    static bool run(const QString& root, const Options& options, const Visitor& visit,
                    const std::stop_token& stop = {});
};

}  // namespace tarnwick
