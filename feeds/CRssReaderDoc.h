#pragma once

#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"
#include "CDataFolderLock.h"
#include "ChannelFileReader.h"

#include <QStringList>
#include <functional>
#include <vector>

class CFeedContext;

// What becomes of the news when the data folder changes.
enum class DataRootChange
{
    // The news go along: the tree, the channel files, the saved news and the prepared audio
    // are written to the new folder.
    MoveNews,
    // The new folder's own news are used: the current ones are saved where they are, and
    // the new folder's are read as at start-up.
    UseFolderNews,
};

// The one document: the feed tree, "Saved News" and "Search Result", the current
// selection that the views follow, and the update and favourite commands. Window thread.
class CRssReaderDoc
{
public:
    explicit CRssReaderDoc(CFeedContext& context);
    ~CRssReaderDoc();
    CRssReaderDoc(const CRssReaderDoc&) = delete;
    CRssReaderDoc& operator=(const CRssReaderDoc&) = delete;

    // Takes the data folder's lock, then reads "data.opml" (the tree, without the channel
    // files), "saved.rss" and "search.rss". False, with LoadError() for the person, when
    // another program has the data folder. StartReadingChannels reads the channel files.
    bool LoadNews();
    QString LoadError() const { return m_loadError; }
    // Reads every channel file on worker threads: the given channels first, then the rest
    // in tree order. Each channel is adopted on this thread and told with ChannelReloaded
    // (posted); until then it is never saved, merged into or refreshed (an update waits
    // for it). When all are read, LoadProblems() holds the channel files' problems too and
    // the handler set with SetChannelsReadHandler runs.
    void StartReadingChannels(const std::vector<CRssChannel*>& first = {});
    bool ChannelsRead() const { return m_loaded && m_readingStarted && !m_reader.Running(); }
    void SetChannelsReadHandler(std::function<void()> handler) { m_channelsRead = std::move(handler); }
    // Blocks until every channel file is read (the command-line tool, tests); starts the
    // reading when it has not started.
    void WaitForChannels();
    // The stored files that did not read whole at the last load, for the person: those of
    // LoadNews, and once ChannelsRead(), those of the channel files.
    QStringList LoadProblems() const { return m_loadProblems; }
    // Writes "data.opml" (and the channel files that changed) and "saved.rss". False when
    // any file could not be written; SaveErrors() then holds the logged lines.
    bool SaveNews();
    QStringList SaveErrors() const { return m_saveErrors; }
    // Stops reading channel files (the unread ones stay as they are on disk), saves when
    // loaded, then empties everything and the selection, and lets the data folder go.
    void CloseNews();
    // Makes path (a full path) the data root, its folders made and its lock taken, and
    // either moves the news there or switches to the news it holds. A data.opml already
    // there is first copied beside itself under a dated name ("data-YYYYMMDD-HHMMSS.opml").
    // False, with everything left as it was, when the folder cannot be made, another
    // program has it, or the news cannot be saved before switching.
    bool ChangeDataRoot(const QString& path, DataRootChange change, QString* error = nullptr);
    // Whether the folder already holds news of its own (a data.opml).
    static bool HoldsNews(const QString& path);
    bool IsLoaded() const { return m_loaded; }

    // post: tell the views through a posted notification instead of at once.
    void Select(CRssNode* node, bool post);
    // The update timer's tick: save, update auto-update channels, age out voice files.
    void PeriodicUpdate();
    // Deletes MP3 files older than the age limit, when the preferences ask for it.
    void RemoveOldVoiceFiles();

    CRssGroup& RootGroup() const { return *m_rootGroup; }
    CRssChannel& SavedNews() const { return *m_savedNews; }
    CRssChannel& SearchResults() const { return *m_searchResults; }
    bool IsSpecial(const CRssChannel* channel) const;

    CRssGroup* SelectedGroup() const { return m_selectedGroup.get(); }
    CRssChannel* SelectedChannel() const { return m_selectedChannel.get(); }
    CRssItem* SelectedItem() const { return m_selectedItem.get(); }
    // The item being read aloud: showing it in the reading pane does not mark it read, as
    // hearing it to the end does.
    void SetListeningItem(CRssItem* item) { m_listeningItem = CRefPtr<CRssItem>(item); }
    CRssItem* ListeningItem() const { return m_listeningItem.get(); }

    // Commands and their enable conditions.
    void UpdateAllGroups();
    void UpdateChannel();
    bool CanUpdateChannel() const;
    void UpdateGroup();
    bool CanUpdateGroup() const;
    void AddToFavorites();
    bool CanAddToFavorites() const;
    void RemoveFromFavorites();
    bool CanRemoveFromFavorites() const;

    QString OpmlFile() const;
    QString SavedNewsFile() const;
    QString SearchResultsFile() const;

private:
    // LoadNews after the folder's lock is taken.
    void ReadStoredNews();
    bool SwitchToFolderNews(const QString& path, CDataFolderLock& lock, QString* error);
    // A dated copy of the data.opml in root, beside it; false when it could not be made.
    bool KeepDatedCopy(const QString& root, QString* error) const;
    static void MoveVoiceFiles(const QString& from, const QString& to);
    void Tell(RssEvent code, CRssNode* node, bool post);

    CFeedContext& m_context;
    CRefPtr<CRssGroup> m_rootGroup;
    CRefPtr<CRssChannel> m_savedNews;
    CRefPtr<CRssChannel> m_searchResults;
    CRefPtr<CRssGroup> m_selectedGroup;
    CRefPtr<CRssChannel> m_selectedChannel;
    CRefPtr<CRssItem> m_selectedItem;
    CRefPtr<CRssItem> m_listeningItem;
    bool m_loaded = false;
    CDataFolderLock m_folderLock;
    bool m_opmlMayReplace = true;
    QString m_loadError;
    QStringList m_loadProblems;
    QStringList m_saveErrors;
    std::function<void()> m_channelsRead;
    bool m_readingStarted = false;
    // Last: stopped before the tree goes.
    CChannelFileReader m_reader;
};
