#include "Newspaper.h"

#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"
#include "ChannelFile.h"
#include "XmlHelpers.h"

#include <libxml/tree.h>

namespace {

constexpr int kChannelIndent = 2;

RssResult Attach(xmlDoc* doc, xmlNode* parent, xmlNode* paper)
{
    if (parent == reinterpret_cast<xmlNode*>(doc)) {
        if (xmlNode* old = xmlDocSetRootElement(doc, paper))
            xmlFreeNode(old);
    } else {
        xmlAddChild(parent, paper);
    }
    return kResultOk;
}

RssResult BuildItemNewspaper(CRssItem& item, xmlDoc* doc, xmlNode* parent)
{
    CRefPtr<CRssChannel> channel = item.Channel();
    if (!channel)
        return kGenericFailure;
    xmlNode* paper = AppendElement(doc, nullptr, "itemnewspaper");
    if (!paper)
        return kGenericFailure;
    xmlNode* element =
        AppendChannelElement(doc, paper, *channel, ChannelItems::None, kChannelIndent);
    if (element) {
        const int itemIndent = kChannelIndent + 2;
        AppendLayout(doc, element, itemIndent);
        WriteItemElement(doc, AppendElement(doc, element, "item"), item, itemIndent);
        AppendLayout(doc, element, kChannelIndent);
    }
    AppendLayout(doc, paper, 0);
    return Attach(doc, parent, paper);
}

RssResult BuildChannelNewspaper(CRssChannel& channel, xmlDoc* doc, xmlNode* parent)
{
    xmlNode* paper = AppendElement(doc, nullptr, "channelnewspaper");
    if (!paper)
        return kGenericFailure;
    AppendChannelElement(doc, paper, channel, ChannelItems::SortedNotDeleted, kChannelIndent);
    return Attach(doc, parent, paper);
}

RssResult BuildGroupNewspaper(CRssGroup& group, xmlDoc* doc, xmlNode* parent)
{
    xmlNode* paper = AppendElement(doc, nullptr, "groupnewspaper");
    if (!paper)
        return kGenericFailure;
    SetAttribute(paper, "title", group.Name());
    {
        std::lock_guard lock(group.ChildrenLock());
        for (const CRefPtr<CRssNode>& child : group.LockedChildren()) {
            if (CRssChannel* channel = NodeCast<CRssChannel>(child.get()))
                AppendChannelElement(doc, paper, *channel, ChannelItems::SortedNotDeleted,
                                     kChannelIndent);
        }
    }
    return Attach(doc, parent, paper);
}

} // namespace

RssResult BuildNewspaper(CRssNode& node, xmlDoc* doc, xmlNode* parent)
{
    if (!doc || !parent)
        return kInvalidArgument;
    switch (node.Kind()) {
    case RssNodeKind::Item:
        return BuildItemNewspaper(static_cast<CRssItem&>(node), doc, parent);
    case RssNodeKind::Channel:
        return BuildChannelNewspaper(static_cast<CRssChannel&>(node), doc, parent);
    case RssNodeKind::Group:
        return BuildGroupNewspaper(static_cast<CRssGroup&>(node), doc, parent);
    }
    return kInvalidArgument;
}
