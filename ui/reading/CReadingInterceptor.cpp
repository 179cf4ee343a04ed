#include "CReadingInterceptor.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace {

bool IsWeb(const QUrl& url)
{
    const QString scheme = url.scheme();
    return scheme == u"http"_s || scheme == u"https"_s;
}

} // namespace

CReadingInterceptor::CReadingInterceptor(const QStringList& pageFiles, const QString& stylesFolder,
                                         QObject* parent)
    : QWebEngineUrlRequestInterceptor(parent), m_pageFiles(pageFiles)
{
    m_pageFiles.removeAll(QString());
    const QString clean = QDir::cleanPath(stylesFolder);
    const QString canonical = QFileInfo(stylesFolder).canonicalFilePath();
    for (const QString& folder : {clean, canonical}) {
        if (!folder.isEmpty() && folder != u"/"_s)
            m_stylesFolders << folder + u'/';
    }
}

void CReadingInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    const auto type = info.resourceType();
    const bool isFrame = type == QWebEngineUrlRequestInfo::ResourceTypeSubFrame ||
                         type == QWebEngineUrlRequestInfo::ResourceTypeNavigationPreloadSubFrame;
    const bool isNavigation = type == QWebEngineUrlRequestInfo::ResourceTypeMainFrame;
    if (!Allows(info.requestUrl(), isFrame) ||
        !AllowsRemote(info.requestUrl(), info.firstPartyUrl(), isNavigation))
        info.block(true);
}

bool CReadingInterceptor::Allows(const QUrl& url, bool isFrame) const
{
    if (isFrame)
        return false;
    if (IsWeb(url) || url.scheme() == u"data"_s)
        return true;
    if (url.scheme() == u"file"_s)
        return AllowsFile(url.toLocalFile());
    return false;
}

bool CReadingInterceptor::AllowsRemote(const QUrl& url, const QUrl& firstParty,
                                       bool isNavigation) const
{
    if (!IsWeb(url) || isNavigation || m_remoteAllowed.load())
        return true;
    // Our own pages are local files; a page of no known address is taken for ours.
    return IsWeb(firstParty);
}

bool CReadingInterceptor::AllowsFile(const QString& path) const
{
    const QString clean = QDir::cleanPath(path);
    if (m_pageFiles.contains(clean))
        return true;
    for (const QString& folder : m_stylesFolders) {
        if (clean.startsWith(folder))
            return true;
    }
    return false;
}
