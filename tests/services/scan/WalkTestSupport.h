#pragma once

// What the scan tests share: the invariants of a finished tree, the first
// difference between two trees, and a thread on which root's permission
// override does not apply.
#include "models/ScanNode.h"

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tarnwick::test {

// Checks the invariants of a finished tree: sizes roll up, children are
// sorted and know their parent, restricted nodes are empty.
inline void expectConsistent(const ScanNodePtr& root) {
    std::vector<ScanNodePtr> pending{root};
    while (!pending.empty()) {
        ScanNodePtr node = pending.back();
        pending.pop_back();
        qint64 sum = 0;
        for (size_t i = 0; i < node->children.size(); ++i) {
            const ScanNodePtr& c = node->children[i];
            EXPECT_EQ(c->parent(), node);
            if (i > 0) {
                EXPECT_GE(node->children[i - 1]->size, c->size);
            }
            sum += c->size;
            pending.push_back(c);
        }
        if (node->kind == NodeKind::dir || node->kind == NodeKind::smallGroup) {
            EXPECT_EQ(node->size, sum);
        }
        if (node->kind == NodeKind::restricted) {
            EXPECT_EQ(node->size, 0);
            EXPECT_TRUE(node->children.empty());
        }
    }
}

// The first difference between two trees (ids when asked, names, paths,
// kinds, sizes, aggregate flags, order, the second tree's parents), or empty.
inline std::string treeDifference(const ScanNode& a, const ScanNode& b, bool ids = true) {
    std::vector<std::pair<const ScanNode*, const ScanNode*>> pending{{&a, &b}};
    while (!pending.empty()) {
        auto [x, y] = pending.back();
        pending.pop_back();
        std::ostringstream out;
        const std::string where = x->path().toStdString() + " [" + x->name.toStdString() + "]";
        if (ids && x->id != y->id) out << where << ": id";
        else if (x->name != y->name) out << where << ": name " << y->name.toStdString();
        else if (x->path() != y->path()) out << where << ": path " << y->path().toStdString();
        else if (x->kind != y->kind) out << where << ": kind";
        else if (x->size != y->size) out << where << ": size " << x->size << " against " << y->size;
        else if (x->isAggregate != y->isAggregate) out << where << ": aggregate";
        else if (x->children.size() != y->children.size())
            out << where << ": " << x->children.size() << " children against " << y->children.size();
        if (!out.str().empty()) return out.str();
        for (size_t i = 0; i < x->children.size(); ++i) {
            if (y->children[i]->parent().get() != y) return where + ": a child's parent";
            pending.push_back({x->children[i].get(), y->children[i].get()});
        }
    }
    return {};
}

// Runs work on a thread without the capabilities that let root ignore file
// permissions (threads it starts inherit that), so permission tests mean the
// same for root and other users.
template <typename Work>
void withoutPermissionOverride(Work work) {
    std::thread thread([&] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (::syscall(SYS_capget, &header, data) == 0) {
            for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) data[cap / 32].effective &= ~(1u << (cap % 32));
            ::syscall(SYS_capset, &header, data);  // affects this thread only
        }
        work();
    });
    thread.join();
}

}  // namespace tarnwick::test
