#include "CPageRenderer.h"

#include "NewspaperPage.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>
#include <libxslt/xslt.h>
#include <memory>

using namespace Qt::Literals::StringLiterals;

CPageRenderer::CPageRenderer(QString pageFile, QObject* parent)
    : QObject(parent), m_pageFile(std::move(pageFile))
{
    // One page at a time, in the order asked; the style library readies its globals here,
    // not on the first worker that uses it.
    xsltInit();
    m_pool.setMaxThreadCount(1);
}

CPageRenderer::~CPageRenderer()
{
    m_pool.waitForDone();
    std::vector<Result> left;
    Take(left);
    for (const Result& result : left)
        if (!result.file.isEmpty())
            QFile::remove(result.file);
}

quint64 CPageRenderer::Render(XmlDocPtr newspaper, const QString& styleFile)
{
    Cancel();
    const quint64 ticket = m_latest;
    std::shared_ptr<xmlDoc> paper(newspaper.release(), XmlDocDeleter());
    const QString pattern = QFileInfo(m_pageFile).absolutePath() + u"/rssXXXXXX.part"_s;
    m_pool.start([this, ticket, paper, styleFile, pattern] {
        QString made;
        QTemporaryFile file(pattern); // readable by its owner only, like the page file
        file.setAutoRemove(false);
        if (!m_pageFile.isEmpty() && paper && file.open()) {
            file.close();
            if (WriteStyledPage(paper.get(), styleFile, file.fileName()))
                made = file.fileName();
            else
                QFile::remove(file.fileName());
        }
        {
            QMutexLocker lock(&m_mutex);
            m_results.push_back({ticket, made});
        }
        QMetaObject::invokeMethod(this, &CPageRenderer::Deliver, Qt::QueuedConnection);
    });
    return ticket;
}

void CPageRenderer::Take(std::vector<Result>& results)
{
    QMutexLocker lock(&m_mutex);
    results.swap(m_results);
}

void CPageRenderer::Deliver()
{
    std::vector<Result> results;
    Take(results);
    for (const Result& result : results) {
        if (result.ticket != m_latest) {
            if (!result.file.isEmpty())
                QFile::remove(result.file);
            continue;
        }
        bool ok = false;
        if (!result.file.isEmpty()) {
            // rename replaces the page file in one step, and any link put in its place.
            ok = ::rename(QFile::encodeName(result.file).constData(),
                          QFile::encodeName(m_pageFile).constData()) == 0;
            if (!ok)
                QFile::remove(result.file);
        }
        Q_EMIT finished(result.ticket, ok);
    }
}
