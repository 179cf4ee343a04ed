#pragma once

#include "SyncSelection.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <vector>

// The checked list of the synchronisation dialog: columns Title, Date and Size. Heading
// rows can be neither ticked nor selected.
class SyncListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit SyncListModel(std::vector<SyncRow> rows, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    bool IsHeading(int row) const { return m_rows.at(size_t(row)).heading; }
    // Ticks or unticks a news row; heading rows refuse. False when nothing changed.
    bool SetTicked(int row, bool ticked);
    int EntryCount() const { return m_entries; }
    qint64 RequiredBytes() const;
    // The ticked news rows, in list order.
    std::vector<const SyncRow*> Ticked() const;
    // How heading rows look: the theme's header colours.
    void SetHeadingColors(const QColor& back, const QColor& text);

Q_SIGNALS:
    // A news row's tick changed through the view (a click or the space bar).
    void tickEdited(int row, bool ticked);

private:
    std::vector<SyncRow> m_rows;
    int m_entries = 0;
    QColor m_headingBack;
    QColor m_headingText;
};
