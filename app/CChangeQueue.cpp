#include "CChangeQueue.h"

#include "CAppLog.h"
#include "StoredFile.h"

#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

// "next N" first, then "SEQUENCE<TAB>KIND<TAB>VALUE<TAB>VALUE..." a line, values
// percent-encoded so that no tab or line break of theirs can split a line.
QByteArray Encode(const QString& text)
{
    return QUrl::toPercentEncoding(text);
}

QString Decode(QByteArrayView text)
{
    return QUrl::fromPercentEncoding(text.toByteArray());
}

} // namespace

void CChangeQueue::Load(const QString& path)
{
    m_path = path;
    m_changes.clear();
    m_next = 1;
    QByteArray bytes;
    QString error;
    const StoredRead read = ReadStoredFile(path, kMaxFileBytes, bytes, &error);
    if (read == StoredRead::Missing)
        return;
    if (read != StoredRead::Ok) {
        const QString aside = KeepFileAside(path);
        LogFormat("*ERROR: Cannot read the changes waiting for the server '%s': %s (kept as '%s')",
                  qUtf8Printable(path), qUtf8Printable(error), qUtf8Printable(aside));
        return;
    }
    for (const QByteArray& line : bytes.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        bool ok = false;
        if (fields.size() == 2 && fields[0] == "next") {
            m_next = std::max(m_next, fields[1].toLongLong(&ok));
            continue;
        }
        const qint64 sequence = fields.size() >= 2 ? fields[0].toLongLong(&ok) : 0;
        // In order and once each: a line out of order is no change of this file's.
        if (!ok || sequence <= 0 || (!m_changes.empty() && sequence <= m_changes.back().sequence))
            continue;
        Change change{sequence, Decode(fields[1]), {}};
        for (qsizetype i = 2; i < fields.size(); ++i)
            change.values << Decode(fields[i]);
        m_changes.push_back(std::move(change));
        m_next = std::max(m_next, sequence + 1);
    }
}

bool CChangeQueue::Save(const std::deque<Change>& changes, qint64 next)
{
    QByteArray bytes = "next\t" + QByteArray::number(next) + '\n';
    for (const Change& change : changes) {
        bytes += QByteArray::number(change.sequence) + '\t' + Encode(change.kind);
        for (const QString& value : change.values)
            bytes += '\t' + Encode(value);
        bytes += '\n';
    }
    QString error;
    if (SaveFileAtomically(m_path, bytes, &error))
        return true;
    LogFormat("*ERROR: Cannot save the changes waiting for the server '%s': %s",
              qUtf8Printable(m_path), qUtf8Printable(error));
    return false;
}

bool CChangeQueue::Append(const QString& kind, const QStringList& values)
{
    std::deque<Change> changes = m_changes;
    changes.push_back({m_next, kind, values});
    if (!Save(changes, m_next + 1))
        return false;
    m_changes = std::move(changes);
    ++m_next;
    return true;
}

bool CChangeQueue::Acknowledge(qint64 sequence)
{
    std::deque<Change> changes = m_changes;
    while (!changes.empty() && changes.front().sequence <= sequence)
        changes.pop_front();
    if (changes.size() == m_changes.size())
        return true;
    if (!Save(changes, m_next))
        return false;
    m_changes = std::move(changes);
    return true;
}
