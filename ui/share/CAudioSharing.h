#pragma once

#include "INotificationView.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class CAudioServer;
class CPreferences;
class CRssReaderDoc;
struct ShareSettings;
struct ShareSnapshot;

// The shared audio while the program runs, in the window or in the tray: the server on the
// address and port of the "Share audio" settings, and what it serves made again (on this
// thread, from the feed tree) a moment after news get their audio or lose it. Where a
// folder is chosen, the same goes into it, written on a worker thread.
class CAudioSharing : public QObject, public INotificationView
{
    Q_OBJECT
public:
    CAudioSharing(CRssReaderDoc& document, CPreferences& prefs, QObject* parent = nullptr);
    ~CAudioSharing() override;

    // Starts, moves or stops the server as the stored settings say.
    void ApplySettings();
    bool IsSharing() const;
    // One line for the person: where the audio is shared, why it is not.
    QString StatusText() const;

    void OnUpdate(RssEvent hint, CRefCounted* object) override;

    // The wait from the last change to the feeds being made again.
    static constexpr int kRebuildDelayMs = 1500;
    // And a rebuild now and then whatever happened (voice files aged out, say).
    static constexpr int kRefreshMs = 5 * 60 * 1000;

private:
    // The stored settings, the address as the page shows it before one is stored.
    ShareSettings Settings() const;
    void Rebuild();
    std::shared_ptr<const ShareSnapshot> Snapshot(const ShareSettings& settings,
                                                         const QString& baseUrl);
    void PublishLater(std::shared_ptr<const ShareSnapshot> snapshot, const QString& folder);

    CRssReaderDoc& m_document;
    CPreferences& m_prefs;
    std::unique_ptr<CAudioServer> m_server;
    QString m_listening; // "address:port" while running
    QString m_error;
    QTimer m_rebuild;
    QTimer m_refresh;
    QByteArray m_iconPng;
    bool m_publishing = false; // a folder publish runs on a worker
    std::shared_ptr<const ShareSnapshot> m_nextPublish;
    QString m_nextFolder;
    QString m_publishError;
};
