#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// Where each news item was left while listening, so a half-heard item resumes: positions
// in milliseconds keyed by the item's identity (32 hexadecimal digits), kept in a small
// text file of the data folder that is replaced whole on every save.
class CListenPositions
{
public:
    // The newest positions kept; older ones are dropped at the next save.
    static constexpr int kMaxEntries = 2000;

    // Reads path (a missing file is an empty store); lines that do not read are skipped, a
    // file that is not a small regular file is left alone and logged. Later saves go there.
    void Load(const QString& path);
    // The stored position, 0 when none.
    qint64 Position(const QByteArray& identity) const;
    // A position of 0 or less forgets the item.
    void SetPosition(const QByteArray& identity, qint64 milliseconds);
    bool IsChanged() const { return m_changed; }
    // Writes the file when anything changed; false (logged) when it could not be written.
    bool Save();
    QString Path() const { return m_path; }

private:
    struct Entry
    {
        qint64 position = 0;
        qint64 stamp = 0; // when it was set, for keeping the newest
    };
    QString m_path;
    QHash<QByteArray, Entry> m_entries;
    qint64 m_nextStamp = 0;
    bool m_changed = false;
};
