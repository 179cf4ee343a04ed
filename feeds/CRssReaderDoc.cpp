#include "CRssReaderDoc.h"

#include "CAppLog.h"
#include "CAppServices.h"
#include "CFeedContext.h"
#include "CPreferences.h"
#include "OpmlFile.h"
#include "StoredFile.h"
#include "StringTable.h"
#include "UpdateSchedule.h"

#include <QDateTime>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <QDir>
#include <QFileInfo>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kMyFeeds = 140;
constexpr int kSavedNews = 141;
constexpr int kSearchResult = 142;

CRefPtr<CRssChannel> MakeSpecialChannel(CFeedContext& context, int nameId)
{
    auto channel = CRssChannel::Create(&context);
    channel->SetNameAndUrl(LoadString(nameId), QString());
    channel->SetAutoUpdate(false);
    return channel;
}

} // namespace

CRssReaderDoc::CRssReaderDoc(CFeedContext& context)
    : m_context(context), m_rootGroup(CRssGroup::Create(&context, true)),
      m_savedNews(MakeSpecialChannel(context, kSavedNews)),
      m_searchResults(MakeSpecialChannel(context, kSearchResult)), m_reader(context)
{
    m_rootGroup->Rename(LoadString(kMyFeeds));
}

CRssReaderDoc::~CRssReaderDoc()
{
    m_reader.Stop();
}

QString CRssReaderDoc::OpmlFile() const
{
    return m_context.Prefs().DataRoot() + u"data.opml"_s;
}

QString CRssReaderDoc::SavedNewsFile() const
{
    return m_context.Prefs().DataRoot() + u"saved.rss"_s;
}

QString CRssReaderDoc::SearchResultsFile() const
{
    return m_context.Prefs().DataRoot() + u"search.rss"_s;
}

bool CRssReaderDoc::LoadNews()
{
    LogMessage(u"Creating new document"_s);
    CloseNews();
    m_loadProblems.clear();
    if (!m_folderLock.Acquire(m_context.Prefs().DataRoot(), &m_loadError)) {
        LogFormat("*ERROR: %s", qUtf8Printable(m_loadError));
        LogMessage(u"Creating new document:FAILED"_s);
        return false;
    }
    m_loadError.clear();
    ReadStoredNews();
    return true;
}

void CRssReaderDoc::ReadStoredNews()
{
    const CPreferences& prefs = m_context.Prefs();
    // Saves killed halfway leave their temporary files; nobody else writes here now.
    if (const int stale =
            RemoveStaleSaveFiles(prefs.DataRoot()) + RemoveStaleSaveFiles(prefs.FeedsFolder()))
        LogFormat("Removed %d temporary files of unfinished saves", stale);

    m_context.TakeStoredFileProblems();
    LogMessage(u"Reading news"_s);
    ReadOpmlFile(*m_rootGroup, OpmlFile(), &m_opmlMayReplace, ChannelFiles::Later);
    LogMessage(u"Reading saved news"_s);
    m_savedNews->LoadStoredFile(SavedNewsFile());
    LogMessage(u"Reading search news"_s);
    m_searchResults->LoadStoredFile(SearchResultsFile());
    m_loadProblems = m_context.TakeStoredFileProblems();
    m_loaded = true;
    LogMessage(u"Document initialization done"_s);
}

bool CRssReaderDoc::SaveNews()
{
    LogMessage(u"Saving news"_s);
    m_saveErrors.clear();
    if (m_opmlMayReplace) {
        WriteOpmlFile(*m_rootGroup, OpmlFile(), &m_saveErrors);
    } else {
        const QString line =
            u"*ERROR: Cannot save group '%1': the damaged file could not be kept aside"_s.arg(
                OpmlFile());
        LogMessage(line);
        m_saveErrors << line;
    }
    QString error;
    if (m_savedNews->SaveFile(SavedNewsFile(), &error) != kResultOk)
        m_saveErrors << error;
    if (!m_saveErrors.isEmpty()) {
        LogMessage(u"*ERROR: Saving news: failed"_s);
        return false;
    }
    LogMessage(u"Saving news: done"_s);
    return true;
}

namespace {

void CollectUnread(CRssNode& node, std::vector<CRefPtr<CRssChannel>>& channels)
{
    std::lock_guard lock(node.ChildrenLock());
    for (const CRefPtr<CRssNode>& child : node.LockedChildren()) {
        if (CRefPtr<CRssChannel> channel = NodeCast<CRssChannel>(child)) {
            if (!channel->FileRead())
                channels.push_back(std::move(channel));
        } else if (child->IsGroup()) {
            CollectUnread(*child, channels);
        }
    }
}

} // namespace

void CRssReaderDoc::StartReadingChannels(const std::vector<CRssChannel*>& first)
{
    if (!m_loaded || m_readingStarted)
        return;
    m_readingStarted = true;
    std::vector<CRefPtr<CRssChannel>> unread;
    CollectUnread(*m_rootGroup, unread);
    std::vector<CRefPtr<CRssChannel>> order;
    order.reserve(unread.size());
    for (CRssChannel* channel : first) {
        const auto it =
            std::find_if(unread.begin(), unread.end(),
                         [&](const CRefPtr<CRssChannel>& c) { return c.get() == channel; });
        if (it != unread.end()) {
            order.push_back(std::move(*it));
            unread.erase(it);
        }
    }
    for (CRefPtr<CRssChannel>& channel : unread)
        order.push_back(std::move(channel));
    m_reader.Start(
        std::move(order),
        [this](CRssChannel& channel) { Tell(RssEvent::ChannelReloaded, &channel, true); },
        [this] {
            m_loadProblems << m_context.TakeStoredFileProblems();
#ifdef __GLIBC__
            // The readers parsed whole channel files on their own threads; what they freed
            // goes back to the system now instead of waiting in their allocator's arenas.
            malloc_trim(0);
#endif
            if (m_channelsRead)
                m_channelsRead();
        });
}

void CRssReaderDoc::WaitForChannels()
{
    StartReadingChannels();
    m_reader.Wait();
}

bool CRssReaderDoc::HoldsNews(const QString& path)
{
    return QFileInfo::exists(QDir(path).filePath(u"data.opml"_s));
}

bool CRssReaderDoc::ChangeDataRoot(const QString& path, DataRootChange change, QString* error)
{
    CPreferences& prefs = m_context.Prefs();
    const QString oldRoot = prefs.DataRoot();
    if (QDir(path) == QDir(oldRoot))
        return true;
    if (change == DataRootChange::MoveNews)
        WaitForChannels();
    CDataFolderLock lock;
    // The folder must exist before it can be locked; the rest is made before anything
    // changes, so that no step after the save can fail on it.
    if (!QDir().mkpath(path) || !lock.Acquire(path, error))
        return false;
    if (!CPreferences::MakeRootFolders(path)) {
        if (error)
            *error = u"Cannot create the folders of '%1'."_s.arg(path);
        return false;
    }
    if (HoldsNews(path) && !KeepDatedCopy(path, error))
        return false;
    if (change == DataRootChange::UseFolderNews)
        return SwitchToFolderNews(path, lock, error);

    if (!prefs.ChangeRoot(path)) {
        if (error)
            *error = u"Cannot create the folders of '%1'."_s.arg(path);
        return false;
    }
    m_folderLock = std::move(lock);
    LogFormat("Data folder moved from '%s' to '%s'", qUtf8Printable(oldRoot),
              qUtf8Printable(prefs.DataRoot()));
    MoveVoiceFiles(oldRoot + "MP3/"_L1, prefs.Mp3Folder());
    return SaveNews();
}

bool CRssReaderDoc::SwitchToFolderNews(const QString& path, CDataFolderLock& lock, QString* error)
{
    CPreferences& prefs = m_context.Prefs();
    const QString oldRoot = prefs.DataRoot();
    // The news stay behind whole: a folder whose news could not be saved is not left.
    if (m_loaded && !SaveNews()) {
        if (error)
            *error = u"The news could not be saved in '%1'."_s.arg(oldRoot);
        return false;
    }
    CloseNews();
    if (!prefs.ChangeRoot(path)) {
        // Its folders were made a moment ago; should they be gone, the old news come back.
        if (error)
            *error = u"Cannot create the folders of '%1'."_s.arg(path);
        lock.Release();
        LoadNews();
        StartReadingChannels();
        return false;
    }
    m_folderLock = std::move(lock);
    LogFormat("Data folder changed from '%s' to '%s'", qUtf8Printable(oldRoot),
              qUtf8Printable(prefs.DataRoot()));
    ReadStoredNews();
    Tell(RssEvent::TreeChanged, m_rootGroup.get(), false);
    Select(m_rootGroup.get(), false);
    StartReadingChannels();
    return true;
}

bool CRssReaderDoc::KeepDatedCopy(const QString& root, QString* error) const
{
    const QDir folder(root);
    const QString stamp =
        QDateTime::fromSecsSinceEpoch(m_context.Now()).toString(u"yyyyMMdd-HHmmss"_s);
    QString copy = folder.filePath(u"data-%1.opml"_s.arg(stamp));
    for (int n = 2; QFileInfo::exists(copy); ++n)
        copy = folder.filePath(u"data-%1-%2.opml"_s.arg(stamp).arg(n));
    if (!QFile::copy(folder.filePath(u"data.opml"_s), copy)) {
        if (error)
            *error = u"Cannot keep a copy of '%1'."_s.arg(folder.filePath(u"data.opml"_s));
        return false;
    }
    LogFormat("Kept a copy of the folder's news in '%s'", qUtf8Printable(copy));
    return true;
}

void CRssReaderDoc::MoveVoiceFiles(const QString& from, const QString& to)
{
    // The prepared audio goes along, so the news keep their voice; a file of the same name
    // already there is kept, and the old one stays where it was.
    int moved = 0;
    const QFileInfoList files = QDir(from).entryInfoList({u"*.mp3"_s}, QDir::Files);
    for (const QFileInfo& file : files)
        if (!QFile::exists(to + file.fileName()) &&
            QFile::rename(file.filePath(), to + file.fileName()))
            ++moved;
    if (!files.isEmpty())
        LogFormat("Moved %d of %d voice files to the new data folder", moved, int(files.size()));
}

void CRssReaderDoc::CloseNews()
{
    m_reader.Stop();
    m_readingStarted = false;
    if (m_loaded)
        SaveNews();
    m_loaded = false;
    m_opmlMayReplace = true;
    m_rootGroup->Clear();
    m_savedNews->Clear();
    m_searchResults->Clear();
    m_selectedChannel.reset();
    m_selectedItem.reset();
    m_listeningItem.reset();
    m_selectedGroup.reset();
    m_folderLock.Release();
}

bool CRssReaderDoc::IsSpecial(const CRssChannel* channel) const
{
    return channel == m_savedNews.get() || channel == m_searchResults.get();
}

void CRssReaderDoc::Tell(RssEvent code, CRssNode* node, bool post)
{
    if (post)
        m_context.App().NotifyAll(code, node);
    else
        m_context.App().DispatchNotification(code, node);
}

void CRssReaderDoc::Select(CRssNode* node, bool post)
{
    if (auto* group = NodeCast<CRssGroup>(node)) {
        m_selectedGroup = CRefPtr<CRssGroup>(group);
        m_selectedChannel.reset();
        m_selectedItem.reset();
        Tell(RssEvent::GroupSelected, group, post);
    } else if (auto* channel = NodeCast<CRssChannel>(node)) {
        m_selectedChannel = CRefPtr<CRssChannel>(channel);
        m_selectedGroup = NodeCast<CRssGroup>(channel->Parent());
        m_selectedItem.reset();
        Tell(RssEvent::ChannelSelected, channel, post);
        m_reader.MoveToFront(*channel);
        // The special channels have no feed to fetch.
        if (!IsSpecial(channel) && channel->DownloadState() != CRssChannel::Downloaded)
            RequestUpdate(*channel, true);
    } else if (auto* item = NodeCast<CRssItem>(node)) {
        m_selectedItem = CRefPtr<CRssItem>(item);
        Tell(RssEvent::ItemSelected, item, post);
    }
}

void CRssReaderDoc::PeriodicUpdate()
{
    SaveNews();
    ::UpdateGroup(*m_rootGroup, true);
    RemoveOldVoiceFiles();
}

void CRssReaderDoc::RemoveOldVoiceFiles()
{
    const CPreferences& prefs = m_context.Prefs();
    if (!prefs.removeOldVoice)
        return;
    const qint64 cutOff = m_context.Now() - qint64(prefs.voiceMaxAgeDays) * 86400;
    QDir folder(prefs.Mp3Folder());
    for (const QFileInfo& file :
         folder.entryInfoList({u"*.mp3"_s}, QDir::Files | QDir::Hidden | QDir::System)) {
        if (file.lastModified().toSecsSinceEpoch() < cutOff)
            QFile::remove(file.filePath());
    }
}

void CRssReaderDoc::UpdateAllGroups()
{
    ::UpdateGroup(*m_rootGroup, false);
    RemoveOldVoiceFiles();
}

bool CRssReaderDoc::CanUpdateChannel() const
{
    return m_selectedChannel && !IsSpecial(m_selectedChannel.get());
}

void CRssReaderDoc::UpdateChannel()
{
    if (CanUpdateChannel()) {
        m_reader.MoveToFront(*m_selectedChannel);
        RequestUpdate(*m_selectedChannel, true);
    }
}

bool CRssReaderDoc::CanUpdateGroup() const
{
    return bool(m_selectedGroup);
}

void CRssReaderDoc::UpdateGroup()
{
    if (CanUpdateGroup())
        ::UpdateGroup(*m_selectedGroup, false);
}

bool CRssReaderDoc::CanAddToFavorites() const
{
    return m_selectedChannel && !IsSpecial(m_selectedChannel.get()) &&
           !m_selectedChannel->Favorite();
}

void CRssReaderDoc::AddToFavorites()
{
    if (CanAddToFavorites())
        m_selectedChannel->SetFavorite(true);
}

bool CRssReaderDoc::CanRemoveFromFavorites() const
{
    // Special channels can never become favourites, so they never get here.
    return m_selectedChannel && !IsSpecial(m_selectedChannel.get()) &&
           m_selectedChannel->Favorite();
}

void CRssReaderDoc::RemoveFromFavorites()
{
    if (CanRemoveFromFavorites())
        m_selectedChannel->SetFavorite(false);
}
