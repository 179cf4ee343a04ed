#include "CSearchDlg.h"

#include "CThemeColors.h"
#include "NewsSearch.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int kMargin = 3;
constexpr int kSpacing = 6;
// The bar is 195 x 18 dialog units: about 292 pixels wide with the usual dialog font.
constexpr int kInitialWidth = 292;

} // namespace

CSearchDlg::CSearchDlg(const CThemeColors* theme, QWidget* parent)
    : QWidget(parent), m_theme(theme), m_label(new QLabel(tr("Look for:"), this)),
      m_combo(new QComboBox(this)), m_findNow(new QPushButton(tr("Find Now"), this))
{
    setObjectName(QStringLiteral("searchBar"));
    setAccessibleName(tr("Search"));
    m_combo->setObjectName(QStringLiteral("searchText"));
    m_combo->setEditable(true);
    m_combo->setInsertPolicy(QComboBox::NoInsert);
    m_combo->setAccessibleName(tr("Look for"));
    m_label->setBuddy(m_combo);
    m_findNow->setObjectName(QStringLiteral("findNow"));
    m_findNow->setDefault(true);
    m_findNow->setAutoDefault(false);
    m_findNow->setAccessibleName(tr("Find Now"));
    setFocusProxy(m_combo);

    connect(m_findNow, &QPushButton::clicked, this, [this] { findNow(); });
    connect(m_combo->lineEdit(), &QLineEdit::returnPressed, this, [this] { findNow(); });
    if (m_theme)
        connect(m_theme, &CThemeColors::changed, this, &CSearchDlg::applyTheme);
    applyTheme();

    // The first layout: label, text field and button in a row; what it leaves around the
    // text field and the button is kept when the bar is resized.
    const int height =
        qMax(m_combo->sizeHint().height(), m_findNow->sizeHint().height()) + 2 * kMargin;
    const QSize labelSize = m_label->sizeHint();
    const QSize buttonSize = m_findNow->sizeHint();
    const QSize comboSize = m_combo->sizeHint();
    m_label->setGeometry(kMargin, (height - labelSize.height()) / 2, labelSize.width(),
                         labelSize.height());
    const int buttonLeft = kInitialWidth - kMargin - buttonSize.width();
    const int comboLeft = kMargin + labelSize.width() + kSpacing;
    m_combo->setGeometry(comboLeft, (height - comboSize.height()) / 2,
                         buttonLeft - kSpacing - comboLeft, comboSize.height());
    m_findNow->setGeometry(buttonLeft, (height - buttonSize.height()) / 2, buttonSize.width(),
                           buttonSize.height());
    m_comboTopLeft = m_combo->pos();
    m_comboRight = kInitialWidth - m_combo->geometry().right() - 1;
    m_comboBottom = height - m_combo->geometry().bottom() - 1;
    m_gap = m_findNow->x() - m_combo->geometry().right() - 1;
    m_buttonBottom = height - m_findNow->geometry().bottom() - 1;
    resize(kInitialWidth, height);
}

bool CSearchDlg::event(QEvent* event)
{
    // Enter in the text field searches: the window's Enter (open the news in the browser)
    // must not take it first. The override comes up here from the field.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool plain =
            key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier;
        if (plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

QString CSearchDlg::searchText() const
{
    return m_combo->currentText();
}

void CSearchDlg::setSearchText(const QString& text)
{
    m_combo->setEditText(text);
}

QStringList CSearchDlg::history() const
{
    QStringList texts;
    for (int i = 0; i < m_combo->count(); ++i)
        texts << m_combo->itemText(i);
    return texts;
}

void CSearchDlg::activate()
{
    show();
    m_combo->setFocus(Qt::ShortcutFocusReason);
    m_combo->lineEdit()->selectAll();
}

int CSearchDlg::findNow()
{
    if (!m_document)
        return -1;
    const QString text = searchText();
    rememberText(text);
    const int found = RunNewsSearch(*m_document, text);
    Q_EMIT searched(found);
    return found;
}

// The drop-down stays sorted and holds each text once; an empty search is not worth keeping.
void CSearchDlg::rememberText(const QString& text)
{
    if (text.isEmpty() || m_combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
        return;
    int index = 0;
    while (index < m_combo->count() &&
           QString::localeAwareCompare(m_combo->itemText(index), text) <= 0)
        ++index;
    m_combo->insertItem(index, text);
    m_combo->setCurrentIndex(index);
}

void CSearchDlg::applyTheme()
{
    QPalette palette = this->palette();
    if (m_theme) {
        palette.setColor(QPalette::Window, m_theme->color(CThemeColors::SplitterBack));
        palette.setColor(QPalette::Button, m_theme->color(CThemeColors::SplitterBack));
    }
    setPalette(palette);
    setAutoFillBackground(true);
    m_label->setAutoFillBackground(false);
}

void CSearchDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        hide();
        Q_EMIT closed();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CSearchDlg::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeControls();
}

void CSearchDlg::placeControls()
{
    const int comboRight = qMax(m_comboTopLeft.x(), width() - m_comboRight);
    const int comboBottom =
        qMax(m_comboTopLeft.y() + m_combo->minimumSizeHint().height(), height() - m_comboBottom);
    m_combo->setGeometry(QRect(m_comboTopLeft, QPoint(comboRight - 1, comboBottom - 1)));
    const QSize button = m_findNow->size();
    m_findNow->move(comboRight + m_gap, height() - m_buttonBottom - button.height());
}

QSize CSearchDlg::sizeHint() const
{
    return QSize(kInitialWidth, m_comboTopLeft.y() + m_combo->sizeHint().height() + m_comboBottom);
}
