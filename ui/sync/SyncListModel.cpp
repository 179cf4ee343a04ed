#include "SyncListModel.h"

#include "CRssItem.h"
#include "TextHelpers.h"

#include <QDateTime>
#include <QLocale>

using namespace Qt::Literals::StringLiterals;

SyncListModel::SyncListModel(std::vector<SyncRow> rows, QObject* parent)
    : QAbstractTableModel(parent), m_rows(std::move(rows))
{
    for (const SyncRow& row : m_rows)
        m_entries += row.heading ? 0 : 1;
}

int SyncListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int SyncListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant SyncListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const SyncRow& row = m_rows[size_t(index.row())];
    if (row.heading) {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return index.column() == 0 ? row.title : QVariant();
        case Qt::FontRole: {
            QFont font;
            font.setBold(true);
            return font;
        }
        case Qt::BackgroundRole:
            return m_headingBack.isValid() ? QVariant(m_headingBack) : QVariant();
        case Qt::ForegroundRole:
            return m_headingText.isValid() ? QVariant(m_headingText) : QVariant();
        default:
            return {};
        }
    }
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case 0:
            return row.title;
        case 1:
            // The locale's date and time, as people read them.
            return QLocale().toString(QDateTime::fromSecsSinceEpoch(row.time).toLocalTime(),
                                      QLocale::ShortFormat);
        default:
            return FormatSize(row.size);
        }
    case Qt::CheckStateRole:
        return index.column() == 0 ? QVariant(row.ticked ? Qt::Checked : Qt::Unchecked)
                                   : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == 2 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case Qt::ToolTipRole:
        return index.column() == 0 ? row.mp3 : QVariant();
    default:
        return {};
    }
}

bool SyncListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0)
        return false;
    const bool ticked = value.value<Qt::CheckState>() == Qt::Checked;
    if (!SetTicked(index.row(), ticked))
        return false;
    Q_EMIT tickEdited(index.row(), ticked);
    return true;
}

bool SyncListModel::SetTicked(int row, bool ticked)
{
    if (row < 0 || row >= rowCount())
        return false;
    SyncRow& entry = m_rows[size_t(row)];
    if (entry.heading || entry.ticked == ticked)
        return false;
    entry.ticked = ticked;
    const QModelIndex cell = index(row, 0);
    Q_EMIT dataChanged(cell, cell, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags SyncListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (IsHeading(index.row()))
        return Qt::ItemIsEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant SyncListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titles[] = {"Title", "Date", "Size"};
    return section >= 0 && section < 3 ? QString::fromLatin1(titles[section]) : QVariant();
}

qint64 SyncListModel::RequiredBytes() const
{
    qint64 total = 0;
    for (const SyncRow& row : m_rows)
        if (!row.heading && row.ticked)
            total += row.size;
    return total;
}

std::vector<const SyncRow*> SyncListModel::Ticked() const
{
    std::vector<const SyncRow*> ticked;
    for (const SyncRow& row : m_rows)
        if (!row.heading && row.ticked)
            ticked.push_back(&row);
    return ticked;
}

void SyncListModel::SetHeadingColors(const QColor& back, const QColor& text)
{
    m_headingBack = back;
    m_headingText = text;
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 2),
                           {Qt::BackgroundRole, Qt::ForegroundRole});
}
