#include "model/PlistNode.h"

#include <plist/plist.h>

PlistNode::~PlistNode()
{
    if (owned && held)
        plist_free(held);
}

void PlistNode::freeNode()
{
    if (held)
        plist_free(held);
    held = nullptr;
}
