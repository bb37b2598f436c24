#include "store/TreeNode.hpp"

namespace quorvel {

TreeNode::~TreeNode() {
    if (!children || children->empty()) return;
    // Children are taken out before their parent goes, so each node dies with no grandchildren.
    std::vector<TreeNode> pending = std::move(*children);
    while (!pending.empty()) {
        TreeNode node = std::move(pending.back());
        pending.pop_back();
        if (!node.children) continue;
        for (auto &child : *node.children)
            pending.push_back(std::move(child));
        node.children->clear();
    }
}

} // namespace quorvel
