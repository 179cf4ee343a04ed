#pragma once

#include <QString>
#include <QStringList>
#include <deque>

// Changes made while a feed server cannot be reached (an article marked read, starred, a
// feed subscribed), kept in the data folder in the order they were made until the server
// has taken each. Every change is on disk before Append returns, and the file is replaced
// whole at every step, so a program killed at any moment finds, at its next start, every
// change it had accepted and none it had handed over and seen taken.
//
// The changes set a state ("read", not "toggle read"), so one handed over just before a
// crash and handed over again after it leaves the server as it was meant to be.
class CChangeQueue
{
public:
    struct Change
    {
        qint64 sequence = 0; // increasing, never reused in a file
        QString kind;        // "read", "unread", "star", "unstar", "subscribe", ...
        QStringList values;  // what it applies to: article ids, a feed address
    };

    // The largest file read; anything larger is set aside as damaged.
    static constexpr qint64 kMaxFileBytes = 16 << 20;

    // Reads the file (missing: an empty queue). Lines that cannot be read are skipped; a
    // file that cannot be read at all is kept aside under a dated name and logged, and the
    // queue starts empty. Later changes are stored there.
    void Load(const QString& path);
    // Stores the change after the others; false (logged) when it could not be stored, and
    // then it is not queued either.
    bool Append(const QString& kind, const QStringList& values);
    const std::deque<Change>& Changes() const { return m_changes; }
    bool IsEmpty() const { return m_changes.empty(); }
    // The server took the changes up to and including sequence: they are forgotten. False
    // (logged) when the file could not be written; they stay queued and are handed over again.
    bool Acknowledge(qint64 sequence);

private:
    bool Save(const std::deque<Change>& changes, qint64 next);

    QString m_path;
    std::deque<Change> m_changes;
    qint64 m_next = 1;
};
