#pragma once

#include "CRssChannel.h"
#include "CRssGroup.h"
#include "ChannelTreeModel.h"

#include <memory>
#include <vector>

// One row of the channel tree, holding a reference to the node it shows. Private to the
// model's sources.
struct ChannelTreeModel::Row
{
    RowKind kind;
    CRefPtr<CRssNode> node;
    Row* parent = nullptr;
    std::vector<std::unique_ptr<Row>> children;

    int Position() const
    {
        if (!parent)
            return 0;
        const auto& siblings = parent->children;
        for (size_t i = 0; i < siblings.size(); ++i)
            if (siblings[i].get() == this)
                return int(i);
        return -1;
    }
    CRssChannel* Channel() const { return NodeCast<CRssChannel>(node.get()); }
    CRssGroup* Group() const { return NodeCast<CRssGroup>(node.get()); }
};
