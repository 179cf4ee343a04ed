#pragma once

#include <QObject>
#include <QStringList>

class CMainFrame;
class CRssReaderDoc;

// Feeds handed over from outside (a browser's feed: link, a saved feed file, a later start
// of the program): each is subscribed to through the New Channel dialog in the main window,
// one after the other. A feed already subscribed to is selected instead.
class CFeedHandoff : public QObject
{
    Q_OBJECT
public:
    CFeedHandoff(CMainFrame& frame, CRssReaderDoc& document);

    // Brings the window forward and queues the address; the dialog opens from the event
    // loop, never inside the caller.
    void Add(const QString& address);

private:
    void RunPending();

    CMainFrame& m_frame;
    CRssReaderDoc& m_document;
    QStringList m_pending;
    bool m_running = false;
};
