#include "CRssReaderView.h"

#include "CPreferences.h"
#include "CRssHeader.h"
#include "CRssReaderDoc.h"
#include "CThemeColors.h"
#include "IFrameServices.h"
#include "NewsListModel.h"
#include "NewsRowDelegate.h"
#include "StripCatalog.h"

#include <QApplication>
#include <QHeaderView>
#include <QSettings>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace {

const auto kOnlyUnreadKey = "Items/OnlyUnread"_L1;

} // namespace

CRssReaderView::CRssReaderView(CRssReaderDoc& doc, CThemeColors& theme, IFrameServices& frame,
                               CPreferences& prefs, QWidget* parent)
    : QTreeView(parent), m_doc(doc), m_theme(theme), m_frame(frame), m_prefs(prefs),
      m_model(new NewsListModel(this)), m_delegate(new NewsRowDelegate(theme, this)),
      m_layout(NewsColumnLayout::Load(prefs.Store()))
{
    setObjectName(u"newsList"_s);
    setAccessibleName(u"News list"_s);
    setAccessibleDescription(u"The news of the selected channel or group"_s);
    m_model->SetOnlyUnread(prefs.Store().value(kOnlyUnreadKey).toBool());
    setModel(m_model);
    setItemDelegate(m_delegate);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFrameShape(QFrame::NoFrame);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    QPalette colors = palette();
    colors.setColor(QPalette::Base, Qt::white);
    setPalette(colors);

    QHeaderView* head = header();
    head->setStretchLastSection(false);
    head->setSectionsMovable(false);
    head->setSectionsClickable(true);
    head->setSortIndicatorShown(false);
    head->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    head->setMinimumSectionSize(0);
    connect(head, &QHeaderView::sectionClicked, this, &CRssReaderView::SortByKind);
    connect(head, &QHeaderView::sectionResized, this, &CRssReaderView::OnSectionResized);
    for (int kind = 0; kind < kNewsColumnCount; ++kind)
        head->setSectionHidden(kind, true);

    // The frame and the theme are only used from the first update on: the frame may still
    // be building its panes while it makes this view.
    QTimer::singleShot(0, this, &CRssReaderView::InitialUpdate);
}

CRssReaderView::~CRssReaderView()
{
    if (m_initialized)
        m_layout.Save(m_prefs.Store());
}

void CRssReaderView::InitialUpdate()
{
    if (m_initialized)
        return;
    connect(&m_theme, &CThemeColors::changed, viewport(), qOverload<>(&QWidget::update));
    m_delegate->SetStrip(LoadStrip(RssStripRows, devicePixelRatioF()));
    m_delegate->SetFont(font());
    m_delegate->SetPreview(m_prefs.showPreview, m_prefs.previewLines);
    ApplyRowHeight();
    m_initialized = true;
    ApplyColumns();
    ApplySortArrow();
    CRssNode* shown = m_doc.SelectedChannel();
    if (!shown)
        shown = m_doc.SelectedGroup();
    if (shown && shown != m_model->Shown()) {
        if (shown != &m_doc.SearchResults())
            m_frame.HideSearchBarIfVisible();
        ShowNode(shown);
    } else {
        SetHeaderText();
    }
}

CRssItem* CRssReaderView::SelectedItem() const
{
    return m_model->ItemAt(CurrentRow());
}

int CRssReaderView::CurrentRow() const
{
    const QModelIndex current = currentIndex();
    if (!current.isValid() || !selectionModel()->isRowSelected(current.row(), {}))
        return -1;
    return current.row();
}

void CRssReaderView::SelectRow(int row)
{
    if (row < 0 || row >= m_model->rowCount()) {
        selectionModel()->clear();
        return;
    }
    const QModelIndex index = m_model->index(row, NewsColumnTitle);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    scrollTo(index, QAbstractItemView::EnsureVisible);
}

void CRssReaderView::OnUpdate(RssEvent hint, CRefCounted* object)
{
    auto* node = dynamic_cast<CRssNode*>(object);
    switch (hint) {
    case RssEvent::ChannelReloaded:
        if (m_model->Covers(node)) {
            // The rows in sight stay in sight while news come and go above them.
            RememberScroll();
            m_model->Refresh(node);
            RestoreScroll();
        }
        break;
    case RssEvent::ItemChanged:
        if (auto* item = NodeCast<CRssItem>(node))
            m_model->ItemChanged(item);
        break;
    case RssEvent::ChannelSelected:
    case RssEvent::GroupSelected:
        if (node && (node->IsChannel() || node->IsGroup()) && node != m_model->Shown()) {
            if (node != &m_doc.SearchResults())
                m_frame.HideSearchBarIfVisible();
            ShowNode(node);
        }
        break;
    case RssEvent::ItemSelected:
        if (auto* item = NodeCast<CRssItem>(node)) {
            const int row = m_model->RowOf(item);
            if (row >= 0 && row != CurrentRow())
                SelectRow(row);
        }
        break;
    case RssEvent::ChannelChanged:
        if (node && node == m_model->Shown())
            SetHeaderText();
        break;
    case RssEvent::PreviewChanged:
        m_delegate->SetPreview(m_prefs.showPreview, m_prefs.previewLines);
        ApplyRowHeight();
        break;
    case RssEvent::TimeDisplayChanged:
        m_model->DatesChanged();
        break;
    default:
        break;
    }
}

void CRssReaderView::ShowNode(CRssNode* node)
{
    m_model->Show(node, m_prefs.sortOrder);
    SetHeaderText();
    const int row = m_model->RowOf(m_doc.SelectedItem());
    if (row >= 0)
        SelectRow(row);
    else
        scrollToTop();
}

void CRssReaderView::SetOnlyUnread(bool onlyUnread)
{
    m_prefs.Store().setValue(kOnlyUnreadKey, onlyUnread);
    m_model->SetOnlyUnread(onlyUnread);
    const int row = m_model->RowOf(m_doc.SelectedItem());
    if (row >= 0)
        SelectRow(row);
}

void CRssReaderView::SetHeaderText()
{
    CRssHeader* header = m_frame.RightSideHeader();
    if (!header)
        return;
    header->setText(ShownName());
}

QString CRssReaderView::ShownName() const
{
    CRssNode* shown = m_model->Shown();
    if (auto* channel = NodeCast<CRssChannel>(shown))
        return channel->Name();
    if (auto* group = NodeCast<CRssGroup>(shown))
        return group->Name();
    return {};
}

std::vector<CRefPtr<CRssItem>> CRssReaderView::ItemsToListen() const
{
    std::vector<CRefPtr<CRssItem>> items;
    const int rows = m_model->rowCount();
    for (int row = std::max(0, CurrentRow()); row < rows; ++row)
        if (CRssItem* item = m_model->ItemAt(row))
            items.emplace_back(item);
    return items;
}

void CRssReaderView::ApplyRowHeight()
{
    // Every row is as tall as the first: a new height takes a new layout.
    scheduleDelayedItemsLayout();
    viewport()->update();
}

void CRssReaderView::ApplyColumns()
{
    QHeaderView* head = header();
    const QList<int> visible = m_layout.Visible();
    // A section shown again reports its old width as a resize: that is no drag, and taken
    // as one it would move the stored shares by rounding on every start.
    m_applyingWidths = true;
    for (int kind = 0; kind < kNewsColumnCount; ++kind) {
        head->setSectionHidden(kind, !visible.contains(kind));
        // Only the divider right of a proportional column with another one after it moves.
        const bool drags = !NewsColumnLayout::IsIconColumn(kind) && visible.contains(kind) &&
                           kind != visible.last();
        head->setSectionResizeMode(kind, drags ? QHeaderView::Interactive : QHeaderView::Fixed);
    }
    m_applyingWidths = false;
    ApplyColumnWidths();
}

void CRssReaderView::ApplyColumnWidths()
{
    if (!m_initialized)
        return;
    m_widths = m_layout.Widths(viewport()->width(), m_delegate->IconWidth());
    m_applyingWidths = true;
    for (int kind : m_layout.Visible())
        header()->resizeSection(kind, m_widths[size_t(kind)]);
    m_applyingWidths = false;
}

void CRssReaderView::OnSectionResized(int logical, int, int newSize)
{
    if (m_applyingWidths || !m_initialized)
        return;
    if (!m_layout.DragDivider(logical, newSize, viewport()->width(), m_widths)) {
        ApplyColumnWidths();
        return;
    }
    const QList<int> visible = m_layout.Visible();
    m_applyingWidths = true;
    header()->resizeSection(logical, m_widths[size_t(logical)]);
    const qsizetype at = visible.indexOf(logical);
    const int next = visible[at + 1];
    header()->resizeSection(next, m_widths[size_t(next)]);
    m_applyingWidths = false;
}

void CRssReaderView::ApplySortArrow()
{
    const int sortValue = m_prefs.sortOrder;
    const int kind = SortKindOf(sortValue);
    const bool arrow =
        kind >= NewsColumnTitle && kind <= NewsColumnCategory && m_layout.IsShown(kind);
    header()->setSortIndicatorShown(arrow);
    // The arrow points down for a descending order; Qt draws that one for AscendingOrder.
    if (arrow)
        header()->setSortIndicator(kind, sortValue < 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CRssReaderView::SortByKind(int kind)
{
    if (kind < 0 || kind >= kNewsColumnCount)
        return;
    const int current = m_prefs.sortOrder;
    m_prefs.sortOrder = SortKindOf(current) == kind ? -current : kind + 1;
    m_prefs.SaveAll();
    ApplySortArrow();
    m_model->Sort(m_prefs.sortOrder);
    if (currentIndex().isValid())
        scrollTo(currentIndex(), QAbstractItemView::EnsureVisible);
}

void CRssReaderView::SetColumnShown(int kind, bool shown)
{
    if (kind == NewsColumnTitle || m_layout.IsShown(kind) == shown)
        return;
    if (shown)
        m_layout.Show(kind);
    else
        m_layout.Hide(kind);
    ApplyColumns();
    ApplySortArrow();
}

void CRssReaderView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const
{
    QList<NewsRowDelegate::Cell> cells;
    for (int kind : m_layout.Visible())
        cells.append({kind, QRect(header()->sectionViewportPosition(kind), option.rect.top(),
                                  header()->sectionSize(kind), option.rect.height())});
    const QRect row(0, option.rect.top(), viewport()->width(), option.rect.height());
    using Highlight = NewsRowDelegate::Highlight;
    const Highlight highlight = !selectionModel()->isRowSelected(index.row(), index.parent())
                                    ? Highlight::None
                                : hasFocus() ? Highlight::Focused
                                             : Highlight::Selected;
    m_delegate->PaintRow(*painter, row, index, cells, highlight);
}

void CRssReaderView::resizeEvent(QResizeEvent* event)
{
    // Also called when the scroll bar comes or goes and only the viewport changes.
    QTreeView::resizeEvent(event);
    ApplyColumnWidths();
}

void CRssReaderView::focusInEvent(QFocusEvent* event)
{
    QTreeView::focusInEvent(event);
    viewport()->update(); // the selection changes colour with the focus
}

void CRssReaderView::focusOutEvent(QFocusEvent* event)
{
    QTreeView::focusOutEvent(event);
    viewport()->update();
}

void CRssReaderView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTreeView::currentChanged(current, previous);
    CRssItem* item = m_model->ItemAt(current.row());
    if (current.isValid() && item && item != m_doc.SelectedItem())
        m_doc.Select(item, false);
}

void CRssReaderView::RememberScroll()
{
    m_scrollAnchor = QPersistentModelIndex();
    // At the very top the list stays at the top, so news arriving there shows.
    if (verticalScrollBar()->value() == 0)
        return;
    const QModelIndex top = indexAt(QPoint(1, 1));
    if (!top.isValid())
        return;
    m_scrollAnchor = top;
    m_scrollAnchorOffset = visualRect(top).top();
}

void CRssReaderView::RestoreScroll()
{
    if (!m_scrollAnchor.isValid())
        return;
    executeDelayedItemsLayout();
    const int moved = visualRect(m_scrollAnchor).top() - m_scrollAnchorOffset;
    verticalScrollBar()->setValue(verticalScrollBar()->value() + moved);
    m_scrollAnchor = QPersistentModelIndex();
}

void CRssReaderView::keyboardSearch(const QString& search)
{
    // Type-ahead over the titles: letters typed in quick succession add up.
    const int interval = QApplication::keyboardInputInterval();
    if (!m_searchTimer.isValid() || m_searchTimer.elapsed() > interval)
        m_search.clear();
    m_searchTimer.start();
    const bool sameKey = m_search.size() == 1 && search == m_search;
    if (!sameKey)
        m_search += search;
    const int rows = m_model->rowCount();
    if (rows == 0 || m_search.isEmpty())
        return;
    const int current = std::max(CurrentRow(), 0);
    // A new search starts at the current row; repeating one letter steps to the next.
    const int start = m_search.size() == 1 ? current + 1 : current;
    for (int i = 0; i < rows; ++i) {
        const int row = (start + i) % rows;
        const QString title = m_model->index(row, NewsColumnTitle).data().toString();
        if (title.startsWith(m_search, Qt::CaseInsensitive)) {
            SelectRow(row);
            return;
        }
    }
}

void CRssReaderView::keyPressEvent(QKeyEvent* event)
{
    // Inside the main window these keys reach the list as the frame's accelerators; on
    // its own the list takes them here.
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    Command command = Command::None;
    if (modifiers == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Space:
            command = Command::MarkReadUnread;
            break;
        case Qt::Key_Delete:
            command = Command::DeleteNews;
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            command = Command::OpenInBrowser;
            break;
        default:
            break;
        }
    } else if (modifiers == Qt::ControlModifier && event->key() == Qt::Key_U) {
        command = Command::NextUnread;
    } else if (modifiers == Qt::ShiftModifier && event->key() == Qt::Key_F10) {
        const QRect rect = visualRect(currentIndex());
        const QPoint at = rect.isValid() ? rect.center() : QPoint();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, viewport()->mapToGlobal(at));
        contextMenuEvent(&menu);
        return;
    }
    if (command != Command::None) {
        CommandState state;
        UpdateCommand(command, state);
        if (state.enabled)
            RunCommand(command);
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}
