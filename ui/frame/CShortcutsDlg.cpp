#include "CShortcutsDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

CShortcutsDlg::CShortcutsDlg(QWidget* parent, const QList<ShortcutRow>& rows)
    : QDialog(parent), m_model(new QStandardItemModel(0, ColumnCount, this)),
      m_shown(new QSortFilterProxyModel(this)), m_filter(new QLineEdit(this)),
      m_list(new QTreeView(this))
{
    setObjectName(u"KeyboardShortcutsDialog"_s);
    setWindowTitle(u"Keyboard Shortcuts"_s);
    setAccessibleName(u"Keyboard shortcuts"_s);

    m_model->setHorizontalHeaderLabels({u"Command"_s, u"Keys"_s, u"Found in"_s, u"What it does"_s});
    for (const ShortcutRow& row : rows) {
        QList<QStandardItem*> items;
        for (const QString& text : {row.command, row.keys, row.place, row.prompt}) {
            auto* item = new QStandardItem(text);
            item->setEditable(false);
            items << item;
        }
        items[CommandColumn]->setData(CommandNumber(row.id), Qt::UserRole);
        items[PromptColumn]->setToolTip(row.prompt); // whole, where the column cuts it
        m_model->appendRow(items);
    }
    m_shown->setSourceModel(m_model);
    m_shown->setFilterKeyColumn(-1); // any column: a name, a key or a menu
    m_shown->setFilterCaseSensitivity(Qt::CaseInsensitive);

    auto* label = new QLabel(u"&Find:"_s, this);
    label->setBuddy(m_filter);
    m_filter->setObjectName(u"shortcutFilter"_s);
    m_filter->setAccessibleName(u"Filter commands"_s);
    m_filter->setPlaceholderText(u"Type a command, a menu or a key, such as Ctrl+F"_s);
    m_filter->setClearButtonEnabled(true);
    m_filter->installEventFilter(this);
    connect(m_filter, &QLineEdit::textChanged, m_shown,
            &QSortFilterProxyModel::setFilterFixedString);

    m_list->setObjectName(u"shortcutList"_s);
    m_list->setAccessibleName(u"Commands and their keys"_s);
    m_list->setModel(m_shown);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    QHeaderView* header = m_list->header();
    header->setStretchLastSection(true);
    for (int column : {CommandColumn, KeysColumn, PlaceColumn})
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    // Enter in the filter must not close the window.
    buttons->button(QDialogButtonBox::Close)->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(m_filter, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);

    // Sized in lines and characters of the font, so it suits any screen density, and never
    // larger than the screen.
    const QFontMetrics metrics = fontMetrics();
    QSize size(metrics.averageCharWidth() * 140, metrics.lineSpacing() * 32);
    if (const QScreen* shown = parent ? parent->screen() : screen())
        size = size.boundedTo(shown->availableGeometry().size() * 9 / 10);
    resize(size);
    setTabOrder(m_filter, m_list);
    m_filter->setFocus();
}

int CShortcutsDlg::shownRowCount() const
{
    return m_shown->rowCount();
}

QString CShortcutsDlg::shownText(int row, Column column) const
{
    return m_shown->index(row, column).data().toString();
}

bool CShortcutsDlg::eventFilter(QObject* watched, QEvent* event)
{
    // Down or Enter in the filter go on to the list, at its first row.
    if (watched == m_filter && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool onward = key->key() == Qt::Key_Down || key->key() == Qt::Key_Return ||
                            key->key() == Qt::Key_Enter;
        if (onward && key->modifiers() == Qt::NoModifier && m_shown->rowCount() > 0) {
            m_list->setFocus(Qt::TabFocusReason);
            if (!m_list->currentIndex().isValid())
                m_list->setCurrentIndex(m_shown->index(0, 0));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
