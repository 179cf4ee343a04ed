#pragma once

#include "CRssChannel.h"
#include "CRssItem.h"

#include <QList>
#include <QString>

// The news one refresh brought, by channel in the order they arrived.
struct ChannelNews
{
    CRefPtr<CRssChannel> channel;
    QList<CRefPtr<CRssItem>> items;
};

class NewsRound
{
public:
    // An item without a channel (deleted meanwhile) is left out.
    void Add(CRssItem* item);
    void Append(const NewsRound& later);
    bool IsEmpty() const { return m_items.isEmpty(); }
    int ItemCount() const { return int(m_items.size()); }
    const QList<ChannelNews>& Channels() const { return m_channels; }
    // Every item, in the order they arrived.
    const QList<CRefPtr<CRssItem>>& Items() const { return m_items; }

private:
    QList<ChannelNews> m_channels;
    QList<CRefPtr<CRssItem>> m_items;
};

struct NotificationText
{
    QString summary;
    QString body;
};

// What a desktop notification says of a round: the count, the channels with their counts
// and the first titles. With markup the feed texts are escaped, since a title may hold
// "<" or "&"; without it they go as they are.
NotificationText DescribeRound(const NewsRound& round, bool markup);
