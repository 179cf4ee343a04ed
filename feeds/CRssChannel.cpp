#include "CRssChannel.h"

#include "CAppLog.h"
#include "CFeedContext.h"
#include "CPreferences.h"
#include "CRssItem.h"
#include "ChannelFile.h"
#include "XmlHelpers.h"

#include <QFile>

using namespace Qt::Literals::StringLiterals;

CRefPtr<CRssChannel> CRssChannel::Create(CFeedContext* context)
{
    return CRefPtr<CRssChannel>::Adopt(new CRssChannel(context));
}

CRssChannel::CRssChannel(CFeedContext* context) : CRssNode(RssNodeKind::Channel, context) {}

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
    {
        std::lock_guard lock(m_fieldsLock);
        m_name = name;
        m_url = url;
    }
    SetIdentity(ComputeIdentity(name, url));
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
            static_cast<CRssItem*>(node.get())->SetUnread(!read, false);
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

RssResult CRssChannel::LoadStoredFile(const QString& path)
{
    const RssResult result = Download(path, true, false);
    if (result != kResultOk)
        return result;
    // Reading may change what a save would write (a voice file found missing, a date put
    // into its stored form); only a file that matches the content exactly counts as saved.
    QFile file(path);
    const bool same = file.open(QIODevice::ReadOnly) && file.readAll() == SerializeChannelFile(*this);
    std::lock_guard lock(m_saveLock);
    if (same) {
        m_savedRevision = Revision();
        m_savedPath = path;
    }
    return result;
}

RssResult CRssChannel::SaveFile(const QString& path)
{
    std::lock_guard lock(m_saveLock);
    const quint64 revision = Revision();
    if (revision == m_savedRevision && path == m_savedPath && QFile::exists(path))
        return kResultOk;
    if (!SaveFileAtomically(path, SerializeChannelFile(*this)))
        return kGenericFailure;
    m_savedRevision = revision;
    m_savedPath = path;
    return kResultOk;
}
