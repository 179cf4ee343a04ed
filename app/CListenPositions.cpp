#include "CListenPositions.h"

#include "CAppLog.h"
#include "StoredFile.h"

#include <algorithm>
#include <vector>

namespace {

constexpr qint64 kMaxFileBytes = 1 << 20;
constexpr qsizetype kIdentityDigits = 32;

bool IsIdentity(QByteArrayView text)
{
    return text.size() == kIdentityDigits &&
           std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
           });
}

} // namespace

void CListenPositions::Load(const QString& path)
{
    m_path = path;
    m_entries.clear();
    m_changed = false;
    m_nextStamp = 0;
    QByteArray bytes;
    QString error;
    const StoredRead read = ReadStoredFile(path, kMaxFileBytes, bytes, &error);
    if (read == StoredRead::Missing)
        return;
    if (read != StoredRead::Ok) {
        LogFormat("*ERROR: Cannot read the listening positions '%s': %s", qUtf8Printable(path),
                  qUtf8Printable(error));
        return;
    }
    // "IDENTITY POSITION" a line, oldest first.
    for (const QByteArray& line : bytes.split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (space < 0)
            continue;
        const QByteArrayView identity = QByteArrayView(line).first(space);
        bool ok = false;
        const qint64 position = line.sliced(space + 1).trimmed().toLongLong(&ok);
        if (ok && position > 0 && IsIdentity(identity))
            m_entries.insert(identity.toByteArray(), {position, ++m_nextStamp});
    }
}

qint64 CListenPositions::Position(const QByteArray& identity) const
{
    return m_entries.value(identity).position;
}

void CListenPositions::SetPosition(const QByteArray& identity, qint64 milliseconds)
{
    if (!IsIdentity(identity))
        return;
    if (milliseconds <= 0) {
        m_changed |= m_entries.remove(identity);
        return;
    }
    Entry& entry = m_entries[identity];
    if (entry.position == milliseconds)
        return;
    entry = {milliseconds, ++m_nextStamp};
    m_changed = true;
}

bool CListenPositions::Save()
{
    if (!m_changed || m_path.isEmpty())
        return true;
    std::vector<std::pair<qint64, QByteArray>> order;
    order.reserve(size_t(m_entries.size()));
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        order.emplace_back(it->stamp, it.key());
    std::sort(order.begin(), order.end());
    if (order.size() > size_t(kMaxEntries)) {
        const auto drop = order.begin() + qsizetype(order.size() - size_t(kMaxEntries));
        for (auto it = order.begin(); it != drop; ++it)
            m_entries.remove(it->second);
        order.erase(order.begin(), drop);
    }
    QByteArray bytes;
    for (const auto& [stamp, identity] : order)
        bytes += identity + ' ' + QByteArray::number(m_entries.value(identity).position) + '\n';
    QString error;
    if (!SaveFileAtomically(m_path, bytes, &error)) {
        LogFormat("*ERROR: Cannot save the listening positions '%s': %s",
                  qUtf8Printable(m_path), qUtf8Printable(error));
        return false;
    }
    m_changed = false;
    return true;
}
