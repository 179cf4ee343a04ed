#pragma once

#include <QString>
#include <QWebEngineUrlRequestInterceptor>

// The wall around feed HTML in the reading pane, below the page's own settings: of local
// files only the page file and what lies in the styles folder may load, frames load
// nothing, and only web, data and local addresses are fetched at all.
class CReadingInterceptor : public QWebEngineUrlRequestInterceptor
{
    Q_OBJECT
public:
    // pageFiles: the page file in its plain and resolved forms; stylesFolder ends with "/".
    CReadingInterceptor(const QStringList& pageFiles, const QString& stylesFolder,
                        QObject* parent = nullptr);

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

    // The rule itself, for requests of the given kind.
    bool Allows(const QUrl& url, bool isFrame) const;

private:
    bool AllowsFile(const QString& path) const;

    QStringList m_pageFiles;
    QStringList m_stylesFolders;
};
