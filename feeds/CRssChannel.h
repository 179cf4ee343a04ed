#pragma once

#include "CRssNode.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <mutex>

class CStoredFileBatch;

class CRssItem;

// A subscribed feed and its news items (the children, newest downloads first).
class CRssChannel : public CRssNode
{
public:
    static constexpr RssNodeKind StaticKind = RssNodeKind::Channel;
    static CRefPtr<CRssChannel> Create(CFeedContext* context);

    // Download states.
    enum { NeverDownloaded = 0, Downloading = 1, Downloaded = 2, DownloadFailed = 3 };

    QString Name() const;
    QString Url() const;
    // Stores both, recomputes the identity (which names the channel file) and posts
    // ChannelChanged.
    void SetNameAndUrl(const QString& name, const QString& url);
    // A download names a channel that has no name yet after its feed's title; the identity
    // stays.
    void NameIfUnnamed(const QString& title);

    RssChannelInfo Info() const;
    void SetInfo(const RssChannelInfo& info);

    int DownloadState() const { return m_downloadState.load(); }
    void SetDownloadState(int state) { m_downloadState.store(state); }
    bool TrySetDownloadState(int expected, int state)
    {
        return m_downloadState.compare_exchange_strong(expected, state);
    }

    bool Favorite() const { return m_favorite.load(); }
    // Posts FavoriteChanged when the value changes.
    void SetFavorite(bool favorite);
    bool AutoUpdate() const { return m_autoUpdate.load(); }
    void SetAutoUpdate(bool autoUpdate) { m_autoUpdate.store(autoUpdate); }
    bool AutoConvert() const { return m_autoConvert.load(); }
    // Posts ChannelChanged.
    void SetAutoConvert(bool autoConvert);

    // Whether the channel's news pages may fetch images and other content from the web:
    // as the options say, always, or never. Kept in data.opml.
    enum class RemoteImages
    {
        FollowOption,
        Always,
        Never
    };
    RemoteImages RemoteImagesChoice() const { return m_remoteImages.load(); }
    // Whether the reading pane starts this channel's news in the full-article view.
    bool FullArticle() const { return m_fullArticle.load(); }
    void SetFullArticle(bool on) { m_fullArticle.store(on); }
    void SetRemoteImagesChoice(RemoteImages choice) { m_remoteImages.store(choice); }

    // The voice that speaks the channel's articles, a voice identifier as in TTS/Voice;
    // empty ("Automatic") for the voice of the options and the article's language. Kept in
    // the channel file.
    QString Voice() const;
    void SetVoice(const QString& voice);

    // The validators of the feed copy the items come from (ETag and Last-Modified), sent
    // with the next download so that an unchanged feed costs a 304. Kept in the channel
    // file, so that they always belong to the items held.
    QByteArray ETag() const;
    QByteArray LastModified() const;
    void SetValidators(const QByteArray& etag, const QByteArray& lastModified);

    // The time (seconds since 1970) before which group updates pass the channel over,
    // because its server asked to wait (429, Retry-After); 0 when it did not.
    qint64 RetryAfter() const { return m_retryAfter.load(); }
    void SetRetryAfter(qint64 time) { m_retryAfter.store(time); }

    // Counts a successful download that permanent redirects led to target (empty: none
    // did). After three in a row to one address the channel moves there, at its next
    // update request (ApplyPendingMove, on the window thread).
    void NotePermanentRedirect(const QString& target);
    // Window thread: takes the pending move, if any: the URL changes (and with it the
    // identity and the channel file's name), the items stay. True when it moved.
    bool ApplyPendingMove();

    // Items not deleted and unread; items not deleted.
    int UnreadCount() const { return m_unread.load(); }
    int TotalCount() const { return m_total.load(); }
    void SetCounts(int unread, int total);
    // The name, with " (n)" when n items are unread.
    QString Label() const;

    void Recount(bool notify);
    // Every item read (or unread); posts ItemChanged for each item that changes, then
    // ChannelChanged.
    void MarkAll(bool read);
    // Deletes every item's voice files, the items, and the channel file.
    void DeleteOwnFiles();
    // Appends copies of the items matching lowerText (deleted ones too) to result.
    void Search(const QString& lowerText, CRssChannel& result);

    // The channel file: the feeds folder + the identity in hexadecimal + ".rss".
    QString FilePath() const;

    // Reads a feed (live: a URL, stored: the channel file) and merges its items. Returns
    // kResultOk or the failure's code; every failure is logged. Defined in ChannelUpdate.cpp.
    RssResult Download(const QString& source, FeedOrigin origin, ChannelNotice notice);
    // Reads only the channel info of the feed at url (the New Channel dialog); failures are
    // logged.
    static bool VerifyChannel(CFeedContext& context, const QString& url, RssChannelInfo& info);
    // Reads the channel file at path at start; afterwards the file is known to match. A
    // file that does not read whole is kept aside and what is whole in it is read; when it
    // cannot be kept aside, SaveFile never replaces it.
    RssResult LoadStoredFile(const QString& path);
    // Writes the channel file to path unless it already holds exactly this content. On
    // failure the old file stays and the logged line goes to error. With a batch the file
    // is replaced when the batch commits; a failure then logs its line and adds it to
    // failures.
    RssResult SaveFile(const QString& path, QString* error = nullptr,
                       CStoredFileBatch* batch = nullptr, QStringList* failures = nullptr);

    // A channel read from data.opml whose file is read later, on a worker (see
    // CChannelFileReader). Until its file is read the channel is never saved, merged into
    // or refreshed: SaveFile leaves the file alone, a live Download fails and an update
    // request waits (HoldUpdate) until AdoptStoredFile starts it.
    bool FileRead() const { return m_fileRead.load(); }
    // storedCount: the item count data.opml gave, written back while the file is unread.
    void MarkFileUnread(int storedCount);
    // The items in the list, or the stored count while the file is unread.
    int OutlineCount() const;
    // A channel outside the tree that a worker reads a channel file into; the items it
    // reads resume their voice jobs only once a tree channel adopts them.
    // favorite: the tree channel's flag, which the file carries too.
    static CRefPtr<CRssChannel> CreateForFileRead(CFeedContext* context, bool favorite);
    bool DefersItemJobs() const { return m_defersItemJobs; }
    // Window thread: takes the items, channel info and saved state that LoadStoredFile read
    // into detached, marks the file read, resumes the items' pending jobs and starts an
    // update that was held.
    void AdoptStoredFile(CRssChannel& detached);
    // True when the file is not read yet: the update is then started once it is.
    bool HoldUpdate(bool urgent);

    // Changes of the item list reach the channel file: each moves the revision.
    void AddChild(CRssNode* child, int index = -1) override;
    bool RemoveChild(CRssNode* child) override;
    void Clear() override;

    // Every change that reaches the channel file moves the revision on; SaveFile skips a
    // channel whose revision has not moved since its file was last written or read.
    void Touch() { m_revision.fetch_add(1, std::memory_order_relaxed); }
    quint64 Revision() const { return m_revision.load(std::memory_order_relaxed); }

private:
    explicit CRssChannel(CFeedContext* context);

    mutable std::mutex m_fieldsLock; // guards the strings below: workers read and write them
    QString m_name;
    QString m_url;
    RssChannelInfo m_info;
    QString m_voice;
    QByteArray m_etag;
    QByteArray m_lastModified;
    QString m_movedTo;
    int m_movedCount = 0;

    std::atomic<int> m_downloadState{NeverDownloaded};
    std::atomic<bool> m_favorite{false};
    std::atomic<bool> m_autoUpdate{true};
    std::atomic<bool> m_autoConvert{false};
    std::atomic<RemoteImages> m_remoteImages{RemoteImages::FollowOption};
    std::atomic<bool> m_fullArticle{false};
    std::atomic<int> m_unread{0};
    std::atomic<int> m_total{0};
    std::atomic<qint64> m_retryAfter{0};

    std::atomic<quint64> m_revision{1};
    // What the channel file at m_savedPath holds: the revision it was written or read at.
    std::mutex m_saveLock;
    quint64 m_savedRevision = 0;
    QString m_savedPath;
    QString m_keepPath; // a damaged file that could not be kept aside: never replaced

    std::atomic<bool> m_fileRead{true};
    int m_storedCount = 0;
    bool m_defersItemJobs = false;
    enum class HeldUpdate { None, Normal, Urgent };
    HeldUpdate m_heldUpdate = HeldUpdate::None; // under m_saveLock
};
