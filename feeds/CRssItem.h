#pragma once

#include "CRssNode.h"
#include "IItemJobs.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <atomic>
#include <memory>

class CRssChannel;

// Whether a change to an item recounts its channel at once, or leaves that to the caller,
// which changes many items and recounts once.
enum class ChannelCounts
{
    Recount,
    Leave
};

// A news item of a channel. The record's fields are changed under the channel's children
// lock during merges and otherwise on the window thread; whoever changes a stored field
// outside a merge calls Touch() on the channel. The state is atomic: jobs change it.
class CRssItem : public CRssNode
{
public:
    static constexpr RssNodeKind StaticKind = RssNodeKind::Item;
    static CRefPtr<CRssItem> Create(CFeedContext* context);
    // An item built by hand: the time is now, pubDate and the display date follow from it.
    static CRefPtr<CRssItem> Create(CFeedContext* context, const QString& title,
                                    const QString& description);

    QString title;              // trimmed
    qint64 publicationTime = 0; // seconds since 1970 UTC
    bool unread = true;
    bool deleted = false;
    bool inFeed = false;

    // The link and the description are kept as UTF-8: a channel holds thousands of items
    // and most are never shown, so they take half the memory of UTF-16.
    QString Link() const { return QString::fromUtf8(LinkUtf8()); }
    void SetLink(const QString& link);
    // Trimmed, may hold HTML.
    QString Description() const { return QString::fromUtf8(m_description); }
    void SetDescription(const QString& description) { m_description = Utf8Of(description); }
    bool HasDescription() const { return !m_description.isEmpty(); }
    // The publication date as the feed wrote it (see ReadItemTime), kept as UTF-8 too.
    QString PubDate() const { return QString::fromUtf8(PubDateUtf8()); }
    void SetPubDate(const QString& pubDate);
    // Few items have these: they are kept aside, and the others do not carry them.
    const QString& Author() const;
    void SetAuthor(const QString& author);
    const QString& Category() const;
    void SetCategory(const QString& category);
    const RssEnclosure& Enclosure() const;
    void SetEnclosure(const RssEnclosure& enclosure);
    // The same texts, for comparing without converting.
    const QByteArray& DescriptionUtf8() const { return m_description; }
    // CleanText of the title and of the description, made when asked rather than kept.
    QString PlainTitle() const;
    QString PlainDescription() const;
    // The texts as people see them, on one line: a title that looks like HTML and every
    // description decoded to text, a plain title as written. Made for display only, so the
    // identity never depends on them.
    QString DisplayTitle() const;
    QString DisplayDescription() const;

    // Computes the identity from the plain title and plain description.
    void UpdateIdentity();
    void SetPublicationTime(qint64 time) { publicationTime = time; }
    // The publication time as local long date and time; made when shown, since formatting
    // local times is slow and most items are never shown.
    QString DisplayDate() const;

    RssItemState State() const { return RssItemState(m_state.load()); }
    // Both post ItemChanged when they write the state.
    void SetState(RssItemState state);
    bool TrySetState(RssItemState expected, RssItemState state);

    // The containing channel, or null.
    CRefPtr<CRssChannel> Channel() const;

    // Base name of the item's voice files: up to 96 letters, digits and "_" of the plain
    // title and 8 digits of the identity, or the 32 digits when the title has no letter.
    QString AudioFileName() const;
    QString HtmlFile() const; // in the voice folder
    QString WavFile() const;  // in the voice folder
    QString Mp3File() const;  // in the MP3 folder
    bool HasMp3Enclosure() const;

    // The display date, or the age ("2 days 3 hours 5 minutes ago") when the preferences
    // ask for the time since publication.
    QString DateText() const;

    // Posts ItemChanged when the value changes.
    void SetUnread(bool unread, ChannelCounts counts);
    // The user deletes the item: its voice is gone; an item still in the feed is only
    // marked deleted so the next download does not bring it back.
    void Delete(bool removeFiles);
    // Deletes the ".html", ".wav" and ".mp3" files; missing files are ignored.
    void DeleteFiles() const;
    // A copy for "Saved News" and search results: state None, not deleted, no identity.
    CRefPtr<CRssItem> Copy() const;
    bool Matches(const QString& lowerText) const;

    // Voice work: move into the due state and post the job.
    void RequestConversion(ConversionRequest request);
    // True when a podcast job was posted.
    bool RequestPodcast(PodcastRequest request);
    // checkOnly: a Ready item whose MP3 file is gone becomes FileMissing. Otherwise also
    // re-posts the job of an item left pending by the last run.
    void ResumeJobs(bool checkOnly);
    // Re-posts the job of an item left pending by the last run (no file check).
    void ResumePendingJob();

private:
    explicit CRssItem(CFeedContext* context);
    // toUtf8 leaves room for three bytes a character: only the text itself is kept.
    static QByteArray Utf8Of(const QString& text);
    static QByteArray Joined(QByteArrayView link, QByteArrayView pubDate);

    struct Extras
    {
        QString author;
        QString category;
        RssEnclosure enclosure;
    };
    Extras& MadeExtras();

    QByteArrayView LinkUtf8() const { return QByteArrayView(m_linkAndDate).first(m_linkSize); }
    QByteArrayView PubDateUtf8() const { return QByteArrayView(m_linkAndDate).sliced(m_linkSize); }

    // The link followed by the publication date: one block instead of two.
    QByteArray m_linkAndDate;
    qsizetype m_linkSize = 0;
    QByteArray m_description;
    std::unique_ptr<Extras> m_extras;
    std::atomic<int> m_state{int(RssItemState::None)};
};
