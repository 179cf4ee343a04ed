#pragma once

#include "ShortcutList.h"

#include <QDialog>

class QLineEdit;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTreeView;

// Help > Keyboard shortcuts: every command with its keys, where it is found and what it
// does, narrowed by what is typed in the filter field. The rows come from the command
// table, so the list never falls behind the menus.
class CShortcutsDlg : public QDialog
{
    Q_OBJECT
public:
    enum Column
    {
        CommandColumn,
        KeysColumn,
        PlaceColumn,
        PromptColumn,
        ColumnCount
    };

    explicit CShortcutsDlg(QWidget* parent = nullptr,
                           const QList<ShortcutRow>& rows = ShortcutRows());

    QLineEdit* filterField() const { return m_filter; }
    QTreeView* list() const { return m_list; }
    // The rows the filter lets through, in the shown order: column text by row.
    int shownRowCount() const;
    QString shownText(int row, Column column) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QStandardItemModel* m_model;
    QSortFilterProxyModel* m_shown;
    QLineEdit* m_filter;
    QTreeView* m_list;
};
