#pragma once

#include <QObject>
#include <functional>

class CRssReaderDoc;
class QLabel;
class QStatusBar;

// The indicators beside the status bar's message pane: the news and unread news of the
// selected channel, and the jobs waiting or running in the download and conversion queues.
class CStatusPanes : public QObject
{
    Q_OBJECT
public:
    explicit CStatusPanes(QStatusBar* bar);

    void setDocument(const CRssReaderDoc* document) { m_document = document; }
    // Each counter returns the pending plus running jobs of one queue.
    void setQueueCounters(std::function<int()> downloads, std::function<int()> conversions);

    // Reads the counts again.
    void refresh();

    // Whether any job waits or runs in either queue.
    bool queuesBusy() const;

    QString channelText() const;
    QString downloadText() const;
    QString conversionText() const;

private:
    QLabel* addPane(QStatusBar* bar, int sizingString);

    const CRssReaderDoc* m_document = nullptr;
    std::function<int()> m_downloads;
    std::function<int()> m_conversions;
    QLabel* m_channel;
    QLabel* m_download;
    QLabel* m_conversion;
};
