#pragma once

// The holder of one libplist node (a plist_t). An owned node is freed with its whole
// subtree when the holder goes; a borrowed one lives inside a tree owned elsewhere.
class PlistNode
{
public:
    PlistNode() = default;
    PlistNode(void* node, bool owned) : owned(owned), held(node) {}
    PlistNode(const PlistNode&) = delete;
    PlistNode& operator=(const PlistNode&) = delete;
    ~PlistNode();

    void* node() const { return held; }
    // Frees the node and its subtree whatever `owned` says, and forgets it.
    void freeNode();

    bool owned = false;

private:
    void* held = nullptr;
};
