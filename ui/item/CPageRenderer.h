#pragma once

#include "XmlHelpers.h"

#include <QMutex>
#include <QObject>
#include <QThreadPool>
#include <vector>

// Makes the reading pane's pages away from the window thread. The newspaper, built on the
// window thread, goes through the reading style on a worker into a file of its own beside
// the page file; the result of the newest request then takes the page file's place at once,
// so the browser never reads half a page. The result of an earlier request is dropped.
class CPageRenderer : public QObject
{
    Q_OBJECT
public:
    explicit CPageRenderer(QString pageFile, QObject* parent = nullptr);
    ~CPageRenderer() override;

    // Starts making the page; every earlier request is forgotten. Returns its ticket.
    quint64 Render(XmlDocPtr newspaper, const QString& styleFile);
    // Forgets every request made so far.
    void Cancel() { m_latest = ++m_tickets; }

Q_SIGNALS:
    // The page file now holds the page of request ticket (ok), or it could not be made.
    void finished(quint64 ticket, bool ok);

private:
    struct Result
    {
        quint64 ticket;
        QString file; // the page made, empty when none was
    };
    void Deliver();
    void Take(std::vector<Result>& results);

    const QString m_pageFile;
    quint64 m_tickets = 0;
    quint64 m_latest = 0;
    QMutex m_mutex;
    std::vector<Result> m_results; // under m_mutex
    QThreadPool m_pool;
};
