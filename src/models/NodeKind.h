#pragma once

namespace tarnwick {

// What a node of the size tree stands for.
enum class NodeKind {
    dir,         // a folder whose entries were listed; its size is the sum of its children
    file,        // a file of 256 KiB or more, or the per-folder node summing smaller files
    smallGroup,  // small children of one folder merged into one node
    restricted,  // a folder that could not or may not be listed (size 0), or hidden space
    virtual_,    // role volumes and purgeable space of the start-up volume
};

}  // namespace tarnwick
