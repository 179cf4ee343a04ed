#include "CReadingInterceptor.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

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
    if (!Allows(info.requestUrl(), isFrame))
        info.block(true);
}

bool CReadingInterceptor::Allows(const QUrl& url, bool isFrame) const
{
    if (isFrame)
        return false;
    const QString scheme = url.scheme();
    if (scheme == u"http"_s || scheme == u"https"_s || scheme == u"data"_s)
        return true;
    if (scheme == u"file"_s)
        return AllowsFile(url.toLocalFile());
    return false;
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
