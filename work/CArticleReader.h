#pragma once

#include <QString>
#include <QStringList>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "CHttpSession.h"

class CRssItem;
class CVoiceConverter;

// Where the article view keeps a news item's page (in the user's cache folder), which speech
// then takes rather than download the page again.
QString ArticlePageFile(const CRssItem& item);

// The article of a news item as a reader sees it: the page fetched into a page cache and
// its text taken by the extraction script, the same text that speech is made from.
struct ArticleText
{
    enum class Problem { None, NotDownloaded, NoText };
    Problem problem = Problem::NotDownloaded;
    QStringList paragraphs; // when there is no problem
};

// Reads articles on a thread of its own, one at a time; a newer request replaces one that
// has not started, since only the article shown last is wanted. The extraction script's
// interpreter is made with the first article. Pages stay in the cache folder for the next
// time; those not used for a fortnight are removed when the first article is read. The
// reader has an HTTP session of its own, so that stopping it ends its transfer at once.
class CArticleReader
{
public:
    // done runs on the reader's thread.
    using Done = std::function<void(quint64 ticket, const ArticleText& article)>;

    // programFolder: where the script's modules are (see CVoiceConverter).
    CArticleReader(QString programFolder, QString cacheFolder, Done done);
    ~CArticleReader();
    CArticleReader(const CArticleReader&) = delete;
    CArticleReader& operator=(const CArticleReader&) = delete;

    // cacheName: the page's file in the cache folder, stable for the item across runs.
    // Returns the ticket that done will name.
    quint64 Read(const QString& link, const QString& cacheName);

private:
    struct Request
    {
        quint64 ticket = 0;
        QString link;
        QString cacheName;
    };
    void Work();
    ArticleText ReadArticle(const Request& request);
    void RemoveStalePages() const;

    const CRefPtr<CHttpSession> m_session;
    const QString m_programFolder;
    const QString m_cacheFolder;
    const Done m_done;
    std::unique_ptr<CVoiceConverter> m_converter; // the reader thread's
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::optional<Request> m_pending;
    quint64 m_lastTicket = 0;
    bool m_stopping = false;
    std::thread m_thread; // started with the first request
};
