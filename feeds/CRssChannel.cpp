#include "CRssChannel.h"

#include "CAppLog.h"
#include "CFeedContext.h"
#include "CPreferences.h"
#include "CRssItem.h"
#include "ChannelFile.h"
#include "DamagedFiles.h"
#include "FeedMerge.h"
#include "FeedParser.h"
#include "StoredFile.h"
#include "StoredFileBatch.h"
#include "UpdateSchedule.h"
#include "XmlHelpers.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

CRefPtr<CRssChannel> CRssChannel::Create(CFeedContext* context)
{
    return CRefPtr<CRssChannel>::Adopt(new CRssChannel(context));
}

CRssChannel::CRssChannel(CFeedContext* context) : CRssNode(RssNodeKind::Channel, context) {}

CRefPtr<CRssChannel> CRssChannel::CreateForFileRead(CFeedContext* context, bool favorite)
{
    CRefPtr<CRssChannel> channel = Create(context);
    channel->m_defersItemJobs = true;
    channel->m_favorite.store(favorite);
    return channel;
}

void CRssChannel::AdoptStoredFile(CRssChannel& detached)
{
    Children items;
    {
        std::lock_guard lock(detached.ChildrenLock());
        items.swap(detached.LockedChildren());
    }
    {
        std::lock_guard lock(ChildrenLock());
        Children& children = LockedChildren();
        for (const CRefPtr<CRssNode>& item : items)
            item->SetParent(this);
        if (children.empty())
            children.swap(items);
        else
            children.insert(children.end(), items.begin(), items.end());
    }
    const RssChannelInfo info = detached.Info();
    const QString voice = detached.Voice();
    const QByteArray etag = detached.ETag();
    const QByteArray lastModified = detached.LastModified();
    {
        std::lock_guard lock(m_fieldsLock);
        m_info = info;
        m_etag = etag;
        m_lastModified = lastModified;
        if (m_name.isEmpty())
            m_name = info.title;
        if (m_voice.isEmpty()) // not chosen meanwhile
            m_voice = voice;
    }
    Recount(true); // the tree shows the counts

    QString savedPath, keepPath;
    bool matches = false;
    {
        std::lock_guard lock(detached.m_saveLock);
        matches = detached.m_savedRevision == detached.Revision() && !detached.m_savedPath.isEmpty();
        savedPath = detached.m_savedPath;
        keepPath = detached.m_keepPath;
    }
    HeldUpdate held = HeldUpdate::None;
    {
        std::lock_guard lock(m_saveLock);
        if (matches && Favorite() == detached.Favorite()) {
            m_savedRevision = Revision();
            m_savedPath = savedPath;
        }
        m_keepPath = keepPath;
        m_fileRead.store(true);
        held = std::exchange(m_heldUpdate, HeldUpdate::None);
    }
    for (const CRefPtr<CRssNode>& node : ChildrenSnapshot()) {
        auto* item = static_cast<CRssItem*>(node.get());
        if (!item->deleted)
            item->ResumePendingJob();
    }
    if (held != HeldUpdate::None)
        RequestUpdate(*this, held == HeldUpdate::Urgent);
}

void CRssChannel::MarkFileUnread(int storedCount)
{
    m_storedCount = storedCount;
    m_fileRead.store(false);
}

int CRssChannel::OutlineCount() const
{
    return FileRead() ? ChildCount() : m_storedCount;
}

bool CRssChannel::HoldUpdate(bool urgent)
{
    std::lock_guard lock(m_saveLock);
    if (m_fileRead.load())
        return false;
    if (urgent || m_heldUpdate == HeldUpdate::None)
        m_heldUpdate = urgent ? HeldUpdate::Urgent : HeldUpdate::Normal;
    return true;
}

QString CRssChannel::Name() const
{
    std::lock_guard lock(m_fieldsLock);
    return m_name;
}

QString CRssChannel::Url() const
{
    std::lock_guard lock(m_fieldsLock);
    return m_url;
}

void CRssChannel::SetNameAndUrl(const QString& name, const QString& url)
{
    // data.opml cannot carry some characters: the identity, which names the channel file,
    // must come from the name and URL as they will read back at the next start.
    const QString storedName = XmlSafeText(name);
    const QString storedUrl = XmlSafeText(url);
    {
        std::lock_guard lock(m_fieldsLock);
        m_name = storedName;
        m_url = storedUrl;
    }
    SetIdentity(ComputeIdentity(storedName, storedUrl));
    Notify(RssEvent::ChannelChanged);
}

void CRssChannel::NameIfUnnamed(const QString& title)
{
    std::lock_guard lock(m_fieldsLock);
    if (m_name.isEmpty())
        m_name = title;
}

RssChannelInfo CRssChannel::Info() const
{
    std::lock_guard lock(m_fieldsLock);
    return m_info;
}

QString CRssChannel::Voice() const
{
    std::lock_guard lock(m_fieldsLock);
    return m_voice;
}

void CRssChannel::SetVoice(const QString& voice)
{
    {
        std::lock_guard lock(m_fieldsLock);
        if (m_voice == voice)
            return;
        m_voice = voice;
    }
    Touch();
}

QByteArray CRssChannel::ETag() const
{
    std::lock_guard lock(m_fieldsLock);
    return m_etag;
}

QByteArray CRssChannel::LastModified() const
{
    std::lock_guard lock(m_fieldsLock);
    return m_lastModified;
}

void CRssChannel::SetValidators(const QByteArray& etag, const QByteArray& lastModified)
{
    {
        std::lock_guard lock(m_fieldsLock);
        if (m_etag == etag && m_lastModified == lastModified)
            return;
        m_etag = etag;
        m_lastModified = lastModified;
    }
    Touch();
}

void CRssChannel::NotePermanentRedirect(const QString& target)
{
    std::lock_guard lock(m_fieldsLock);
    if (target.isEmpty() || target == m_url) {
        m_movedTo.clear();
        m_movedCount = 0;
    } else if (target == m_movedTo) {
        ++m_movedCount;
    } else {
        m_movedTo = target;
        m_movedCount = 1;
    }
}

bool CRssChannel::ApplyPendingMove()
{
    constexpr int kRedirectsToMove = 3;
    QString from, to, name;
    {
        std::lock_guard lock(m_fieldsLock);
        if (m_movedCount < kRedirectsToMove)
            return false;
        from = m_url;
        to = std::exchange(m_movedTo, QString());
        name = m_name;
        m_movedCount = 0;
    }
    LogFormat("Channel moved permanently: '%s' -> '%s'", qUtf8Printable(from), qUtf8Printable(to));
    SetNameAndUrl(name, to);
    return true;
}

void CRssChannel::SetInfo(const RssChannelInfo& info)
{
    {
        std::lock_guard lock(m_fieldsLock);
        m_info = info;
    }
    Touch();
}

void CRssChannel::SetFavorite(bool favorite)
{
    if (m_favorite.exchange(favorite) == favorite)
        return;
    Touch(); // the channel file carries the flag too
    Notify(RssEvent::FavoriteChanged);
}

void CRssChannel::SetAutoConvert(bool autoConvert)
{
    m_autoConvert.store(autoConvert);
    Notify(RssEvent::ChannelChanged);
}

void CRssChannel::SetCounts(int unread, int total)
{
    m_unread.store(unread);
    m_total.store(total);
}

QString CRssChannel::Label() const
{
    const int unread = UnreadCount();
    return unread > 0 ? Name() + u" (%1)"_s.arg(unread) : Name();
}

void CRssChannel::Recount(bool notify)
{
    int unread = 0, total = 0;
    {
        std::lock_guard lock(ChildrenLock());
        for (const CRefPtr<CRssNode>& node : LockedChildren()) {
            const auto* item = static_cast<const CRssItem*>(node.get());
            if (item->deleted)
                continue;
            ++total;
            if (item->unread)
                ++unread;
        }
    }
    SetCounts(unread, total);
    if (notify)
        Notify(RssEvent::ChannelChanged);
}

void CRssChannel::MarkAll(bool read)
{
    {
        std::lock_guard lock(ChildrenLock());
        for (const CRefPtr<CRssNode>& node : LockedChildren())
            static_cast<CRssItem*>(node.get())->SetUnread(!read, ChannelCounts::Leave);
        m_unread.store(read ? 0 : m_total.load());
    }
    Notify(RssEvent::ChannelChanged);
}

void CRssChannel::DeleteOwnFiles()
{
    for (const CRefPtr<CRssNode>& node : ChildrenSnapshot())
        static_cast<CRssItem*>(node.get())->DeleteFiles();
    Clear();
    Touch();
    QFile::remove(FilePath());
}

void CRssChannel::Search(const QString& lowerText, CRssChannel& result)
{
    std::vector<CRefPtr<CRssItem>> found;
    {
        std::lock_guard lock(ChildrenLock());
        for (const CRefPtr<CRssNode>& node : LockedChildren()) {
            const auto* item = static_cast<const CRssItem*>(node.get());
            if (item->Matches(lowerText))
                found.push_back(item->Copy());
        }
    }
    for (const CRefPtr<CRssItem>& copy : found)
        result.AddChild(copy.get());
}

QString CRssChannel::FilePath() const
{
    return Context()->Prefs().FeedsFolder() + IdentityHex(Identity()) + u".rss"_s;
}

void CRssChannel::AddChild(CRssNode* child, int index)
{
    CRssNode::AddChild(child, index);
    Touch();
}

bool CRssChannel::RemoveChild(CRssNode* child)
{
    const bool removed = CRssNode::RemoveChild(child);
    if (removed)
        Touch();
    return removed;
}

void CRssChannel::Clear()
{
    CRssNode::Clear();
    Touch();
}

RssResult CRssChannel::LoadStoredFile(const QString& path)
{
    const QByteArray source = path.toUtf8();
    LogFormat("Start downloading channel: '%s'", source.constData());
    InitXmlLibrary();
    QByteArray bytes;
    XmlLoadError error;
    const StoredRead read = ReadStoredFile(path, kMaxStoredFileBytes, bytes, &error.message);
    XmlDocPtr doc;
    try {
        if (read == StoredRead::Ok)
            doc = ParseXml(bytes, path, &error, XmlRecovery::None, XmlOrigin::StoredFile);
    } catch (...) {
        error.message = u"out of memory"_s;
    }
    RssResult result = kGenericFailure;
    if (doc) {
        result = MergeFeedDocument(*this, doc.get(), path, FeedOrigin::Stored, ChannelNotice::None);
        if (result != kResultOk)
            error.message = u"not a channel file"_s;
    } else {
        LogFormat("*ERROR: Cannot load channel: '%s'", source.constData());
        result = read == StoredRead::Missing ? kResourceNotFound : LoadErrorCode(error);
    }
    if (result != kResultOk) {
        if (read == StoredRead::Missing)
            return result;
        const QFileInfo file(path);
        if (read == StoredRead::Refused && !file.isFile()) {
            ReportRefusedFile(*Context(), path, error.message);
            // A symlink is replaced by the save itself, never what it leads to.
            if (!file.isSymLink()) {
                std::lock_guard lock(m_saveLock);
                m_keepPath = path;
            }
        } else if (!KeepDamagedFile(*Context(), path, error.message)) {
            std::lock_guard lock(m_saveLock);
            m_keepPath = path;
        } else if (!doc && read == StoredRead::Ok) {
            if (XmlDocPtr recovered = ParseXml(bytes, path, nullptr, XmlRecovery::KeepWhatIsWhole,
                                               XmlOrigin::StoredFile))
                MergeFeedDocument(*this, recovered.get(), path, FeedOrigin::Stored,
                                  ChannelNotice::None);
        }
        return result;
    }
    // Reading may change what a save would write (a voice file found missing, a date put
    // into its stored form); only a file that matches the content exactly counts as saved.
    const bool same = bytes == SerializeChannelFile(*this);
    std::lock_guard lock(m_saveLock);
    if (same) {
        m_savedRevision = Revision();
        m_savedPath = path;
    }
    return result;
}

RssResult CRssChannel::SaveFile(const QString& path, QString* error, CStoredFileBatch* batch,
                                QStringList* failures)
{
    std::lock_guard lock(m_saveLock);
    // Not read yet: the file on disk is all there is of the channel.
    if (!m_fileRead.load())
        return kResultOk;
    const quint64 revision = Revision();
    if (revision == m_savedRevision && path == m_savedPath && QFileInfo(path).isFile())
        return kResultOk;
    const auto failed = [path](const QString& reason) {
        const QString line = u"*ERROR: Cannot save channel file '%1': %2"_s.arg(path, reason);
        LogMessage(line);
        return line;
    };
    QString reason = u"a damaged file that could not be kept aside"_s;
    bool saved = false;
    if (path != m_keepPath) {
        const QByteArray bytes = SerializeChannelFile(*this);
        if (bytes.isEmpty()) {
            reason = u"out of memory"_s;
        } else if (bytes.size() > kMaxStoredFileBytes) {
            reason = u"larger than %1 MB"_s.arg(kMaxStoredFileBytes / (1024 * 1024));
        } else if (batch) {
            // Written for good when the batch commits; the channel is kept alive until then.
            const CRefPtr<CRssChannel> self(this);
            saved = batch->Add(path, bytes, &reason, [self, path, revision, failed, failures](
                                                         bool done, const QString& why) {
                if (!done) {
                    const QString line = failed(why);
                    if (failures)
                        *failures << line;
                    return;
                }
                std::lock_guard lock(self->m_saveLock);
                self->m_savedRevision = revision;
                self->m_savedPath = path;
            });
            if (saved)
                return kResultOk;
        } else {
            saved = SaveFileAtomically(path, bytes, &reason);
        }
    }
    if (!saved) {
        const QString line = failed(reason);
        if (error)
            *error = line;
        return kGenericFailure;
    }
    m_savedRevision = revision;
    m_savedPath = path;
    return kResultOk;
}
