#pragma once

#include <QString>
#include <QUrl>

// The reading pane's page file: a unique name in the temporary folder, "rss" followed by
// random characters and ".tmp.html", made once, readable by its owner only, and deleted
// with the object. Path() is empty when no name could be made.
class CPageFile
{
public:
    CPageFile();
    ~CPageFile();
    CPageFile(const CPageFile&) = delete;
    CPageFile& operator=(const CPageFile&) = delete;

    QString Path() const { return m_path; }
    // The same file with every link in its folder resolved.
    QString CanonicalPath() const { return m_canonicalPath; }
    QUrl Url() const { return QUrl::fromLocalFile(m_path); }
    // True when url names this file in either of its forms.
    bool Names(const QUrl& url) const;

private:
    QString m_path;
    QString m_canonicalPath;
};
