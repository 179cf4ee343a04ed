#include "CRssItem.h"

#include "CFeedContext.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "DateHelpers.h"
#include "IItemJobs.h"
#include "StringTable.h"
#include "TextHelpers.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kMaxTitleInFileName = 96;
constexpr int kIdentityDigitsInFileName = 8;

qint64 NowOf(const CFeedContext* context)
{
    return context ? context->Now() : QDateTime::currentSecsSinceEpoch();
}

// The state is kept in the channel file, so every change makes the channel's file due.
void TouchChannel(const CRssItem& item)
{
    if (CRefPtr<CRssChannel> channel = item.Channel())
        channel->Touch();
}

QString VoiceFolder(const CRssItem& item)
{
    return item.Context() ? item.Context()->Prefs().VoiceFolder() : QString();
}

QString Mp3Folder(const CRssItem& item)
{
    return item.Context() ? item.Context()->Prefs().Mp3Folder() : QString();
}

QString FormatCount(int id, qint64 n)
{
    return LoadString(id).replace(u"%d"_s, QString::number(n));
}

} // namespace

CRefPtr<CRssItem> CRssItem::Create(CFeedContext* context)
{
    return CRefPtr<CRssItem>::Adopt(new CRssItem(context));
}

CRefPtr<CRssItem> CRssItem::Create(CFeedContext* context, const QString& title,
                                   const QString& description)
{
    CRefPtr<CRssItem> item = Create(context);
    item->title = title.trimmed();
    item->SetDescription(description.trimmed());
    const qint64 now = NowOf(context);
    item->SetPubDate(FormatGmtDate(now));
    item->SetPublicationTime(now);
    item->UpdateIdentity();
    return item;
}

CRssItem::CRssItem(CFeedContext* context) : CRssNode(RssNodeKind::Item, context) {}

QByteArray CRssItem::Utf8Of(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    bytes.squeeze();
    return bytes;
}

CRssItem::Extras& CRssItem::MadeExtras()
{
    if (!m_extras)
        m_extras = std::make_unique<Extras>();
    return *m_extras;
}

const QString& CRssItem::Author() const
{
    static const QString none;
    return m_extras ? m_extras->author : none;
}

void CRssItem::SetAuthor(const QString& author)
{
    if (m_extras || !author.isEmpty())
        MadeExtras().author = author;
}

const QString& CRssItem::Category() const
{
    static const QString none;
    return m_extras ? m_extras->category : none;
}

void CRssItem::SetCategory(const QString& category)
{
    if (m_extras || !category.isEmpty())
        MadeExtras().category = category;
}

const RssEnclosure& CRssItem::Enclosure() const
{
    static const RssEnclosure none;
    return m_extras ? m_extras->enclosure : none;
}

void CRssItem::SetEnclosure(const RssEnclosure& enclosure)
{
    if (m_extras || enclosure != RssEnclosure{})
        MadeExtras().enclosure = enclosure;
}

QByteArray CRssItem::Joined(QByteArrayView link, QByteArrayView pubDate)
{
    QByteArray block;
    block.reserve(link.size() + pubDate.size());
    block.append(link).append(pubDate);
    return block;
}

void CRssItem::SetLink(const QString& link)
{
    const QByteArray bytes = link.toUtf8();
    m_linkAndDate = Joined(bytes, PubDateUtf8());
    m_linkSize = bytes.size();
}

void CRssItem::SetPubDate(const QString& pubDate)
{
    m_linkAndDate = Joined(LinkUtf8(), pubDate.toUtf8());
}

QString CRssItem::PlainTitle() const
{
    QString text = title;
    CleanText(text);
    return text;
}

QString CRssItem::PlainDescription() const
{
    QString text = Description();
    CleanText(text);
    return text;
}

QString CRssItem::DisplayTitle() const
{
    return OneLineText(ShownFeedText(title));
}

QString CRssItem::DisplayDescription() const
{
    return OneLineText(HtmlToText(Description()));
}

void CRssItem::UpdateIdentity()
{
    SetIdentity(ComputeIdentity(PlainTitle(), PlainDescription()));
}

QString CRssItem::DisplayDate() const
{
    return QLocale::system().toString(QDateTime::fromSecsSinceEpoch(publicationTime).toLocalTime(),
                                      QLocale::LongFormat);
}

void CRssItem::SetState(RssItemState state)
{
    const int old = m_state.exchange(int(state));
    Notify(RssEvent::ItemChanged);
    if (old != int(state))
        TouchChannel(*this);
}

bool CRssItem::TrySetState(RssItemState expected, RssItemState state)
{
    int value = int(expected);
    if (!m_state.compare_exchange_strong(value, int(state)))
        return false;
    Notify(RssEvent::ItemChanged);
    if (expected != state)
        TouchChannel(*this);
    return true;
}

CRefPtr<CRssChannel> CRssItem::Channel() const
{
    return NodeCast<CRssChannel>(Parent());
}

QString CRssItem::AudioFileName() const
{
    const QString plainTitle = PlainTitle();
    QString name;
    name.reserve(plainTitle.size());
    bool hasLetter = false;
    for (const QChar c : plainTitle) {
        const char16_t u = c.unicode();
        if (u == u'\t' || u == u'\n' || u == u'\r' || u == u' ') {
            name += u'_';
        } else if (u >= u'0' && u <= u'9') {
            name += c;
        } else if ((u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z')) {
            name += c;
            hasLetter = true;
        }
    }
    const QString hex = IdentityHex(Identity());
    if (!hasLetter)
        return hex;
    name.truncate(kMaxTitleInFileName);
    name += QStringView(hex).left(kIdentityDigitsInFileName);
    return name;
}

QString CRssItem::HtmlFile() const
{
    return VoiceFolder(*this) + AudioFileName() + u".html"_s;
}

QString CRssItem::WavFile() const
{
    return VoiceFolder(*this) + AudioFileName() + u".wav"_s;
}

QString CRssItem::Mp3File() const
{
    return Mp3Folder(*this) + AudioFileName() + u".mp3"_s;
}

bool CRssItem::HasMp3Enclosure() const
{
    const RssEnclosure& enclosure = Enclosure();
    return !enclosure.url.isEmpty() &&
           enclosure.type.compare(u"audio/mpeg"_s, Qt::CaseInsensitive) == 0;
}

QString CRssItem::DateText() const
{
    if (!Context() || !Context()->Prefs().showTimeSince)
        return DisplayDate();
    const qint64 s = NowOf(Context()) - publicationTime;
    const qint64 days = s / 86400;
    const qint64 hours = s / 3600 - 24 * days;
    const qint64 minutes = s / 60 - 60 * (s / 3600);
    QString text;
    if (days > 0)
        text += days == 1 ? LoadString(151) : FormatCount(154, days);
    if (hours > 0)
        text += hours == 1 ? LoadString(152) : FormatCount(153, hours);
    text += FormatCount(155, minutes);
    return text;
}

void CRssItem::SetUnread(bool value, ChannelCounts counts)
{
    CRefPtr<CRssChannel> channel = Channel();
    {
        // Merges read the flag on worker threads under the channel's lock.
        std::unique_lock<std::recursive_mutex> lock;
        if (channel)
            lock = std::unique_lock(channel->ChildrenLock());
        if (unread == value)
            return;
        unread = value;
    }
    if (channel)
        channel->Touch();
    Notify(RssEvent::ItemChanged);
    if (counts == ChannelCounts::Recount && channel)
        channel->Recount(true);
}

void CRssItem::Delete(bool removeFiles)
{
    CRefPtr<CRssItem> self(this); // the channel may hold the last reference
    SetState(RssItemState::FileMissing);
    if (removeFiles)
        DeleteFiles();
    CRefPtr<CRssChannel> channel = Channel();
    if (!channel) {
        if (inFeed)
            deleted = true;
        return;
    }
    {
        std::lock_guard lock(channel->ChildrenLock());
        if (inFeed)
            deleted = true;
        else
            channel->RemoveChild(this);
    }
    channel->Recount(true);
    channel->Touch();
}

void CRssItem::DeleteFiles() const
{
    QFile::remove(HtmlFile());
    QFile::remove(WavFile());
    QFile::remove(Mp3File());
}

CRefPtr<CRssItem> CRssItem::Copy() const
{
    CRefPtr<CRssItem> copy = Create(Context());
    copy->title = title;
    copy->m_linkAndDate = m_linkAndDate;
    copy->m_linkSize = m_linkSize;
    copy->m_description = m_description;
    if (m_extras)
        copy->m_extras = std::make_unique<Extras>(*m_extras);
    copy->publicationTime = publicationTime;
    copy->unread = unread;
    copy->inFeed = inFeed;
    return copy;
}

bool CRssItem::Matches(const QString& lowerText) const
{
    const QString title = PlainTitle(), description = PlainDescription();
    if (title.toLower().contains(lowerText) || description.toLower().contains(lowerText))
        return true;
    // Searched as the person reads them too: "AT&T", not the "AT&amp;T" a feed may send.
    // Plain letters, digits and spaces come out of an entity only in odd feeds, and decoding
    // every text of a big search costs more than the search itself.
    const bool plain = std::all_of(lowerText.begin(), lowerText.end(), [](QChar c) {
        return c.unicode() < 0x80 && (c.isLetterOrNumber() || c.isSpace());
    });
    if (plain)
        return false;
    return (title.contains(u'&') && DisplayTitle().toLower().contains(lowerText)) ||
           (description.contains(u'&') && DisplayDescription().toLower().contains(lowerText));
}

void CRssItem::RequestConversion(ConversionRequest request)
{
    if (IItemJobs* jobs = Context() ? Context()->ItemJobs() : nullptr)
        jobs->RequestConversion(*this, request);
}

bool CRssItem::RequestPodcast(PodcastRequest request)
{
    IItemJobs* jobs = Context() ? Context()->ItemJobs() : nullptr;
    return jobs && jobs->RequestPodcast(*this, request);
}

void CRssItem::ResumeJobs(bool checkOnly)
{
    const RssItemState state = State();
    if (state == RssItemState::Ready) {
        if (!QFile::exists(Mp3File()))
            TrySetState(RssItemState::Ready, RssItemState::FileMissing);
        return;
    }
    if (!checkOnly)
        ResumePendingJob();
}

void CRssItem::ResumePendingJob()
{
    const RssItemState state = State();
    if (state != RssItemState::PageCached && state != RssItemState::DownloadPending &&
        state != RssItemState::PodcastPending)
        return;
    if (IItemJobs* jobs = Context() ? Context()->ItemJobs() : nullptr)
        jobs->ResumePending(*this);
}
