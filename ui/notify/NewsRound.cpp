#include "NewsRound.h"

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kTitlesShown = 4; // as many as a popup shows
constexpr int kChannelsNamed = 5;
constexpr int kLongestTitle = 100;

QString OneLine(QString text, int longest)
{
    text = text.simplified();
    if (text.size() > longest)
        text = text.left(longest - 1).trimmed() + u'\u2026';
    return text;
}

} // namespace

void NewsRound::Add(CRssItem* item)
{
    const CRefPtr<CRssChannel> channel = item ? item->Channel() : nullptr;
    if (!channel)
        return;
    m_items.append(CRefPtr<CRssItem>(item));
    for (ChannelNews& news : m_channels) {
        if (news.channel == channel) {
            news.items.append(CRefPtr<CRssItem>(item));
            return;
        }
    }
    m_channels.append({channel, {CRefPtr<CRssItem>(item)}});
}

void NewsRound::Append(const NewsRound& later)
{
    for (const CRefPtr<CRssItem>& item : later.m_items)
        Add(item.get());
}

NotificationText DescribeRound(const NewsRound& round, bool markup)
{
    const auto text = [markup](const QString& feedText, int longest) {
        const QString line = OneLine(feedText, longest);
        return markup ? line.toHtmlEscaped() : line;
    };
    NotificationText out;
    out.summary =
        round.ItemCount() == 1 ? u"1 new news"_s : u"%1 new news"_s.arg(round.ItemCount());
    QStringList channels;
    for (const ChannelNews& news : round.Channels()) {
        if (channels.size() == kChannelsNamed) {
            channels << u"%1 more channels"_s.arg(round.Channels().size() - kChannelsNamed);
            break;
        }
        const QString name = text(news.channel->Name(), kLongestTitle);
        channels << (markup ? u"<b>%1</b> (%2)"_s : u"%1 (%2)"_s)
                        .arg(name, QString::number(news.items.size()));
    }
    QStringList lines{channels.join(u", "_s)};
    for (const CRefPtr<CRssItem>& item : round.Items().mid(0, kTitlesShown))
        lines << u"\u2022 "_s + text(item->DisplayTitle(), kLongestTitle);
    out.body = lines.join(u'\n');
    return out;
}
