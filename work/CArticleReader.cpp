#include "CArticleReader.h"

#include "ArticleCache.h"
#include "CAppLog.h"
#include "CRssItem.h"
#include "CVoiceConverter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 kStalePageSeconds = 14 * 24 * 3600;

} // namespace

QString ArticlePageFile(const CRssItem& item)
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + u"/Articles/"_s +
           item.AudioFileName() + u".html"_s;
}

CArticleReader::CArticleReader(QString programFolder, QString cacheFolder, Done done)
    : m_session(CRefPtr<CHttpSession>::Make()), m_programFolder(std::move(programFolder)),
      m_cacheFolder(std::move(cacheFolder)), m_done(std::move(done))
{
}

CArticleReader::~CArticleReader()
{
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
        m_pending.reset();
    }
    m_session->AbortTransfers();
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

quint64 CArticleReader::Read(const QString& link, const QString& cacheName)
{
    quint64 ticket = 0;
    {
        std::lock_guard lock(m_lock);
        ticket = ++m_lastTicket;
        m_pending = Request{ticket, link, cacheName};
        if (!m_thread.joinable())
            m_thread = std::thread([this] {
                RemoveStalePages();
                Work();
            });
    }
    m_wake.notify_all();
    return ticket;
}

void CArticleReader::Work()
{
    for (;;) {
        Request request;
        {
            std::unique_lock lock(m_lock);
            m_wake.wait(lock, [this] { return m_stopping || m_pending; });
            if (m_stopping)
                break;
            request = *std::exchange(m_pending, std::nullopt);
        }
        const ArticleText article = ReadArticle(request);
        m_done(request.ticket, article);
    }
    // The interpreter goes on the thread that used it.
    m_converter.reset();
}

ArticleText CArticleReader::ReadArticle(const Request& request)
{
    ArticleText article;
    const QString path = QDir(m_cacheFolder).filePath(request.cacheName);
    if (!QFileInfo::exists(path)) {
        if (!m_session->IsValid() || !QDir().mkpath(m_cacheFolder) ||
            !WriteArticleCache(*m_session, request.link, path)) {
            // A part left by a broken transfer is no page to read next time.
            QFile::remove(path);
            return article;
        }
    }
    if (!m_converter) {
        m_converter = std::make_unique<CVoiceConverter>(m_programFolder);
        if (!m_converter->LoadScript())
            LogMessage(u"*ERROR: No extraction script for the article view"_s);
    }
    article.problem = ArticleText::Problem::NoText;
    QString text;
    if (!m_converter->PageToText(path, text))
        return article;
    for (const QString& line : text.split(u'\n')) {
        const QString paragraph = line.trimmed();
        if (!paragraph.isEmpty())
            article.paragraphs << paragraph;
    }
    if (!article.paragraphs.isEmpty())
        article.problem = ArticleText::Problem::None;
    return article;
}

void CArticleReader::RemoveStalePages() const
{
    const QDateTime stale = QDateTime::currentDateTime().addSecs(-kStalePageSeconds);
    for (const QFileInfo& page : QDir(m_cacheFolder).entryInfoList(QDir::Files))
        if (page.lastModified() < stale)
            QFile::remove(page.filePath());
}
