#include "CLeftView.h"

#include "CChannelTreeDelegate.h"
#include "CCommandTable.h"
#include "CRssReaderDoc.h"
#include "CThemeColors.h"
#include "IFrameServices.h"
#include "ChannelTreeModel.h"
#include "StringTable.h"
#include "StripCatalog.h"
#include "TreeDialogs.h"
#include "UpdateSchedule.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QMessageBox>
#include <QPainter>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kMyChannels = 132;
constexpr int kAskDeleteChannel = 60000;
constexpr int kAskDeleteGroup = 60001;
constexpr int kAskConvertExisting = 60002;

bool AskYesNo(QWidget* parent, int question, QMessageBox::Icon icon)
{
    QMessageBox box(icon, u"Calvoria"_s, LoadString(question), QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace

CLeftView::CLeftView(CRssReaderDoc& document, CThemeColors& theme, IFrameServices& frame,
                     QWidget* parent)
    : QTreeView(parent), m_document(document), m_theme(theme), m_frame(frame),
      m_model(new ChannelTreeModel(document, this))
{
    setObjectName(u"channelTree"_s);
    setAccessibleName(LoadString(kMyChannels));
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setIndentation(19);
    setRootIsDecorated(true);
    setAnimated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
    setModel(m_model);
    LoadImages();
    m_delegate = new CChannelTreeDelegate(m_theme, m_strip, this);
    setItemDelegate(m_delegate);

    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (m_model->KindAt(index) == ChannelTreeModel::RowKind::Favorites)
            m_favoritesExpanded = true;
        else if (CRssGroup* group = NodeCast<CRssGroup>(m_model->NodeAt(index)))
            group->SetExpanded(true);
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (m_model->KindAt(index) == ChannelTreeModel::RowKind::Favorites)
            m_favoritesExpanded = false;
        else if (CRssGroup* group = NodeCast<CRssGroup>(m_model->NodeAt(index)))
            group->SetExpanded(false);
    });
    connect(m_model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int first, int last) {
                if (parent == m_model->FavoritesIndex()) {
                    setExpanded(parent, m_favoritesExpanded);
                    return;
                }
                for (int row = first; row <= last; ++row) {
                    const QModelIndex index = m_model->index(row, 0, parent);
                    if (CRssGroup* group = NodeCast<CRssGroup>(m_model->NodeAt(index))) {
                        setExpanded(index, group->Expanded());
                        ApplyExpansion(index);
                    }
                }
            });
    connect(m_model, &ChannelTreeModel::nodeMoved, this, [this](CRssNode* node) {
        // The moved node keeps its place in the document's selection with its new group.
        if (node == m_document.SelectedChannel() ||
            (node == m_document.SelectedGroup() && !m_document.SelectedChannel()))
            m_document.Select(node, true);
        SelectQuietly(m_model->IndexOf(node));
    });
    connect(&m_theme, &CThemeColors::changed, viewport(), qOverload<>(&QWidget::update));

    ApplyExpansion({});
    CRssNode* current = m_document.SelectedChannel();
    if (!current)
        current = m_document.SelectedGroup();
    SelectQuietly(m_model->IndexOf(current));
}

CLeftView::~CLeftView() = default;

void CLeftView::LoadImages()
{
    m_strip = LoadStrip(RssStripTree, devicePixelRatioF());
}

void CLeftView::showEvent(QShowEvent* event)
{
    if (!qFuzzyCompare(m_strip.devicePixelRatio(), devicePixelRatioF()))
        LoadImages();
    QTreeView::showEvent(event);
}

void CLeftView::ApplyExpansion(const QModelIndex& parent)
{
    for (int row = 0; row < m_model->rowCount(parent); ++row) {
        const QModelIndex index = m_model->index(row, 0, parent);
        if (m_model->KindAt(index) == ChannelTreeModel::RowKind::Favorites) {
            setExpanded(index, m_favoritesExpanded);
        } else if (CRssGroup* group = NodeCast<CRssGroup>(m_model->NodeAt(index))) {
            setExpanded(index, group->Expanded());
            ApplyExpansion(index);
        }
    }
}

void CLeftView::SelectQuietly(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    m_selectionHandling = false;
    setCurrentIndex(index);
    m_selectionHandling = true;
}

void CLeftView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTreeView::currentChanged(current, previous);
    if (!m_selectionHandling || !current.isValid())
        return;
    if (CRssNode* node = m_model->NodeAt(current))
        m_document.Select(node, true);
}

void CLeftView::FollowDocument(CRssNode* node)
{
    if (!node || m_model->NodeAt(currentIndex()) == node)
        return;
    const QModelIndex index = m_model->IndexOf(node);
    SelectQuietly(index);
    scrollTo(index);
}

void CLeftView::OnUpdate(RssEvent hint, CRefCounted* object)
{
    switch (hint) {
    case RssEvent::ChannelSelected:
    case RssEvent::GroupSelected:
        FollowDocument(dynamic_cast<CRssNode*>(object));
        break;
    case RssEvent::TreeChanged:
        AfterShapeChange();
        break;
    default:
        m_model->OnUpdate(hint, object);
        break;
    }
}

void CLeftView::AfterShapeChange()
{
    // The group posts TreeChanged too; showing the change now keeps the tree in step
    // with what the person just did.
    m_model->SyncTree();
    CRssNode* selected = m_document.SelectedChannel();
    if (!selected)
        selected = m_document.SelectedGroup();
    if (selected && !m_model->IndexOf(selected).isValid()) {
        // The selected node left the tree: the document follows the current row instead.
        if (CRssNode* current = m_model->NodeAt(currentIndex()))
            m_document.Select(current, true);
        return;
    }
    FollowDocument(selected);
}

// ---- commands ----

bool CLeftView::HandlesCommand(Command id) const
{
    return id == Command::NewChannel || id == Command::NewGroup || id == Command::RenameGroup ||
           id == Command::ChannelProperties;
}

void CLeftView::UpdateCommand(Command id, CommandState& state)
{
    const CRssGroup* group = m_document.SelectedGroup();
    const CRssChannel* channel = m_document.SelectedChannel();
    switch (id) {
    case Command::NewChannel:
    case Command::NewGroup:
        state.enabled = true; // into "My Feeds" when no group is selected
        break;
    case Command::ChannelProperties:
        state.enabled = channel && !m_document.IsSpecial(channel);
        break;
    case Command::RenameGroup:
        state.enabled = group && !channel && !group->IsRoot();
        break;
    default:
        break;
    }
}

void CLeftView::RunCommand(Command id)
{
    CommandState state;
    UpdateCommand(id, state);
    if (!state.enabled)
        return;
    switch (id) {
    case Command::NewChannel:
        RunRowCommand(Command::RowNewChannel, &SelectedFeedGroup(m_document));
        break;
    case Command::NewGroup:
        RunRowCommand(Command::RowNewGroup, &SelectedFeedGroup(m_document));
        break;
    case Command::ChannelProperties:
        RunRowCommand(Command::RowChannelProperties, m_document.SelectedChannel());
        break;
    case Command::RenameGroup:
        RunRowCommand(Command::RowRenameGroup, m_document.SelectedGroup());
        break;
    default:
        break;
    }
}

QMenu* CLeftView::ContextMenuFor(const QModelIndex& index, QWidget* parent) const
{
    using Kind = ChannelTreeModel::RowKind;
    const Kind kind = m_model->KindAt(index);
    if (!index.isValid() ||
        (kind != Kind::Channel && kind != Kind::FavoriteCopy && kind != Kind::Group))
        return nullptr;
    auto* menu = new QMenu(parent);
    auto add = [menu](Command id, bool enabled = true) {
        QAction* action = menu->addAction(CCommandTable::text(id));
        action->setData(CommandNumber(id));
        action->setEnabled(enabled);
        action->setStatusTip(CCommandTable::prompt(id));
    };
    if (const CRssChannel* channel = NodeCast<CRssChannel>(m_model->NodeAt(index))) {
        menu->setTitle(u"Channel"_s);
        add(Command::RowUpdateChannel);
        add(Command::RowUpdateGroup);
        menu->addSeparator();
        add(Command::RowMarkChannelRead, channel->UnreadCount() > 0);
        add(Command::RowMarkGroupRead);
        menu->addSeparator();
        add(Command::RowListen, channel->ChildCount() > 0);
        add(Command::RowEnableConversion, !channel->AutoConvert());
        add(Command::RowDisableConversion, channel->AutoConvert());
        menu->addSeparator();
        add(Command::RowDeleteChannel);
        menu->addSeparator();
        add(Command::RowChannelProperties);
    } else {
        const bool root = NodeCast<CRssGroup>(m_model->NodeAt(index))->IsRoot();
        menu->setTitle(u"Group"_s);
        add(Command::RowNewChannel);
        add(Command::RowNewGroup);
        menu->addSeparator();
        add(Command::RowUpdateGroup);
        add(Command::RowMarkGroupRead);
        menu->addSeparator();
        add(Command::RowListen);
        menu->addSeparator();
        add(Command::RowDeleteGroup, !root);
        add(Command::RowRenameGroup, !root);
    }
    return menu;
}

void CLeftView::RunRowCommand(Command id, CRssNode* node)
{
    if (!node)
        return;
    // Held for the whole command: a dialog or a message box lets notifications through.
    const CRefPtr<CRssNode> keep(node);
    CRssChannel* channel = NodeCast<CRssChannel>(node);
    CRefPtr<CRssGroup> group = channel ? NodeCast<CRssGroup>(channel->Parent())
                                       : CRefPtr<CRssGroup>(NodeCast<CRssGroup>(node));
    const bool userChannel = channel && !m_document.IsSpecial(channel);

    switch (id) {
    case Command::RowUpdateChannel:
        if (userChannel)
            RequestUpdate(*channel, true);
        break;
    case Command::RowUpdateGroup:
        if (group)
            UpdateGroup(*group, false);
        break;
    case Command::RowMarkChannelRead:
        if (channel)
            channel->MarkAll(true);
        m_model->RefreshChannel(channel);
        break;
    case Command::RowMarkGroupRead:
        if (group)
            group->MarkRead(true);
        break;
    case Command::RowEnableConversion:
        if (!userChannel || channel->AutoConvert())
            break;
        channel->SetAutoConvert(true);
        m_model->RefreshChannel(channel);
        if (AskYesNo(this, kAskConvertExisting, QMessageBox::Question)) {
            for (const CRefPtr<CRssNode>& child : channel->ChildrenSnapshot()) {
                auto* item = NodeCast<CRssItem>(child.get());
                if (item &&
                    (item->State() == RssItemState::None || item->State() == RssItemState::Failed))
                    item->RequestConversion({.retry = true, .urgent = true, .preferPodcast = true});
            }
        }
        break;
    case Command::RowListen:
        // The list shows the node, and Listen plays it in the list's order.
        m_document.Select(node, false);
        m_frame.RouteCommand(Command::Listen);
        break;
    case Command::RowDisableConversion:
        if (userChannel) {
            channel->SetAutoConvert(false);
            m_model->RefreshChannel(channel);
        }
        break;
    case Command::RowDeleteChannel:
        if (!userChannel || !group || !AskYesNo(this, kAskDeleteChannel, QMessageBox::Question))
            break;
        channel->DeleteOwnFiles();
        group->RemoveChild(channel);
        AfterShapeChange();
        if (m_document.IsLoaded())
            m_document.SaveNews();
        break;
    case Command::RowChannelProperties:
        if (userChannel && RunChannelProperties(this, *channel, m_frame))
            m_model->RefreshChannel(channel);
        break;
    case Command::RowNewChannel:
        if (group && RunNewChannel(this, m_document, *group, m_frame))
            AfterShapeChange();
        break;
    case Command::RowNewGroup:
        if (group && RunNewGroup(this, m_document, *group))
            AfterShapeChange();
        break;
    case Command::RowDeleteGroup: {
        // The root group has no parent to leave: nothing happens, nothing is asked.
        CRefPtr<CRssGroup> parent = group ? NodeCast<CRssGroup>(group->Parent()) : nullptr;
        if (channel || !group || group->IsRoot() || !parent ||
            !AskYesNo(this, kAskDeleteGroup, QMessageBox::Question))
            break;
        parent->RemoveChild(group.get());
        AfterShapeChange();
        if (m_document.IsLoaded())
            m_document.SaveNews();
        break;
    }
    case Command::RowRenameGroup:
        if (!channel && group && !group->IsRoot()) {
            const QModelIndex index = m_model->IndexOf(group.get());
            setFocus();
            setCurrentIndex(index);
            edit(index);
        }
        break;
    default:
        break;
    }
}

// ---- mouse and keyboard ----

void CLeftView::ShowContextMenu(const QModelIndex& index, const QPoint& globalPos)
{
    std::unique_ptr<QMenu> menu(ContextMenuFor(index, this));
    if (!menu)
        return;
    const CRefPtr<CRssNode> node(m_model->NodeAt(index));
    const QAction* chosen = menu->exec(globalPos);
    if (chosen)
        RunRowCommand(static_cast<Command>(chosen->data().toInt()), node.get());
}

void CLeftView::contextMenuEvent(QContextMenuEvent* event)
{
    const bool keyboard = event->reason() == QContextMenuEvent::Keyboard;
    const QModelIndex index = keyboard ? currentIndex() : indexAt(event->pos());
    const QPoint at =
        keyboard ? viewport()->mapToGlobal(visualRect(index).center()) : event->globalPos();
    ShowContextMenu(index, at);
}

void CLeftView::mousePressEvent(QMouseEvent* event)
{
    // The right button only opens the row's menu: selecting the row would show the channel
    // and may start its download before anything was chosen.
    if (event->button() == Qt::RightButton) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

bool CLeftView::event(QEvent* event)
{
    // These keys belong to the tree while it has the focus, not to the frame's
    // accelerators (Del would delete news, Enter open one in the browser).
    if (event->type() == QEvent::ShortcutOverride && state() != EditingState) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool plain =
            key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier;
        const bool groupRow =
            m_model->hasChildren(currentIndex()) && !m_model->IsUserChannel(currentIndex());
        if ((key->key() == Qt::Key_Delete && plain) ||
            ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && plain && groupRow)) {
            event->accept();
            return true;
        }
    }
    return QTreeView::event(event);
}

void CLeftView::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex current = currentIndex();
    const bool plain =
        event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
    if (event->key() == Qt::Key_Delete && plain) {
        DeleteRowNode(current);
        event->accept();
        return;
    }
    // The menu key arrives as a context-menu event of its own; Shift+F10 does not.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        ShowContextMenu(current, viewport()->mapToGlobal(visualRect(current).center()));
        event->accept();
        return;
    }
    // The Enter that ends a rename comes here too, from the editor: it only ends the edit.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && plain &&
        state() != EditingState && current.isValid() && m_model->hasChildren(current)) {
        setExpanded(current, !isExpanded(current));
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CLeftView::DeleteRowNode(const QModelIndex& index)
{
    using Kind = ChannelTreeModel::RowKind;
    const Kind kind = m_model->KindAt(index);
    if (!index.isValid())
        return;
    if (kind == Kind::Channel || kind == Kind::FavoriteCopy)
        RunRowCommand(Command::RowDeleteChannel, m_model->NodeAt(index));
    else if (kind == Kind::Group)
        RunRowCommand(Command::RowDeleteGroup, m_model->NodeAt(index));
}

void CLeftView::focusInEvent(QFocusEvent* event)
{
    QTreeView::focusInEvent(event);
    viewport()->update(); // the selection takes the focused colours
}

void CLeftView::focusOutEvent(QFocusEvent* event)
{
    QTreeView::focusOutEvent(event);
    viewport()->update();
}

// ---- drawing ----

void CLeftView::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const
{
    painter->save();
    painter->fillRect(rect, palette().color(QPalette::Base));
    const int indent = indentation();
    const int left = rect.right() + 1 - indent; // this row's own branch cell
    const int top = rect.top();
    const int bottom = rect.bottom();
    const int middle = (top + bottom) / 2;
    const int x = left + indent / 2;

    QPen pen(m_theme.color(CThemeColors::InactiveSelection), 1);
    pen.setCosmetic(true);
    painter->setPen(pen);
    const bool hasNext = index.sibling(index.row() + 1, 0).isValid();
    painter->drawLine(x, top, x, hasNext ? bottom : middle);
    painter->drawLine(x, middle, left + indent, middle);
    int level = 1;
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent(), ++level)
        if (up.sibling(up.row() + 1, 0).isValid())
            painter->drawLine(x - level * indent, top, x - level * indent, bottom);

    if (m_model->hasChildren(index) && !m_strip.isNull()) {
        const QSize glyph = m_strip.imageSize();
        const QPoint at(left + (indent - glyph.width()) / 2,
                        top + (rect.height() - glyph.height()) / 2);
        m_strip.draw(*painter, at,
                     isExpanded(index) ? ChannelTreeModel::ImageExpanded
                                       : ChannelTreeModel::ImageCollapsed);
    }
    painter->restore();
}
