#include "NewsColumns.h"

#include "CRssItem.h"
#include "StringTable.h"

using namespace Qt::Literals::StringLiterals;

namespace NewsColumns {

QString Header(int kind)
{
    switch (kind) {
    case NewsColumnTitle:
        return LoadString(143);
    case NewsColumnDate:
        return LoadString(144);
    case NewsColumnAuthor:
        return LoadString(145);
    case NewsColumnCategory:
        return LoadString(146);
    case NewsColumnSource:
        return LoadString(147);
    default:
        return {};
    }
}

QString Text(const CRssItem& item, int kind)
{
    switch (kind) {
    case NewsColumnTitle:
        return item.DisplayTitle();
    case NewsColumnDate:
        return item.DateText();
    case NewsColumnAuthor:
        return item.Author();
    case NewsColumnCategory:
        return item.Category();
    case NewsColumnSource:
        return u"None"_s;
    default:
        return {};
    }
}

QString Preview(const CRssItem& item)
{
    return item.DisplayDescription();
}

QString Link(const CRssItem& item)
{
    return item.Link();
}

bool IsUnread(const CRssItem& item)
{
    return item.unread;
}

bool IsDeleted(const CRssItem& item)
{
    return item.deleted;
}

bool HasAudio(const CRssItem& item)
{
    return item.HasMp3Enclosure();
}

RssItemState State(const CRssItem& item)
{
    return item.State();
}

QString ReadWords(const CRssItem& item)
{
    QString words = item.unread ? u"Unread"_s : u"Read"_s;
    if (item.HasMp3Enclosure())
        words += u", podcast"_s;
    return words;
}

QString StateWords(RssItemState state)
{
    switch (state) {
    case RssItemState::PageCached:
        return u"Page downloaded, voice waiting"_s;
    case RssItemState::DownloadPending:
        return u"Page download waiting"_s;
    case RssItemState::Ready:
        return u"Voice ready"_s;
    case RssItemState::Failed:
        return u"Voice failed"_s;
    case RssItemState::FileMissing:
        return u"Voice file missing"_s;
    case RssItemState::PodcastPending:
        return u"Podcast download waiting"_s;
    default:
        return u"No voice"_s;
    }
}

SortKey KeyOf(const CRssItem& item, int kind)
{
    switch (kind) {
    case NewsColumnRead:
        return {item.unread ? 0 : 1, {}};
    case NewsColumnState:
        return {qint64(item.State()), {}};
    case NewsColumnTitle:
        return {0, item.DisplayTitle()};
    case NewsColumnDate:
        return {item.publicationTime, {}};
    case NewsColumnAuthor:
        return {0, item.Author()};
    case NewsColumnCategory:
        return {0, item.Category()};
    default:
        return {};
    }
}

int Compare(const SortKey& a, const SortKey& b, int kind)
{
    switch (kind) {
    case NewsColumnTitle:
    case NewsColumnAuthor:
    case NewsColumnCategory:
        // Ordinal and case-sensitive: code unit by code unit.
        return QStringView(a.text).compare(QStringView(b.text), Qt::CaseSensitive);
    case NewsColumnSource:
        return 0;
    default:
        return a.number < b.number ? -1 : (b.number < a.number ? 1 : 0);
    }
}

} // namespace NewsColumns
