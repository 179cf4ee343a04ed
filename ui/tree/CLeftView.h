#pragma once

#include "CCommandRouter.h"
#include "CImageStrip.h"
#include "CRefCounted.h"
#include "INotificationView.h"

#include <QTreeView>

class CChannelTreeDelegate;
class CRssNode;
class CRssReaderDoc;
class CThemeColors;
class ChannelTreeModel;
class IFrameServices;
class QMenu;

// The channel tree at the left of the main window: favourites, the feed tree and the two
// special channels. Selecting a row selects its node in the document; the tree carries
// the channel and group commands, their context menus, renaming, deleting, moving by drag
// and drop, and shows downloading channels animated.
class CLeftView : public QTreeView, public ICommandTarget, public INotificationView
{
    Q_OBJECT

public:
    CLeftView(CRssReaderDoc& document, CThemeColors& theme, IFrameServices& frame,
              QWidget* parent = nullptr);
    ~CLeftView() override;

    ChannelTreeModel& Model() const { return *m_model; }

    // ICommandTarget: new channel, new group, rename group, channel properties.
    bool HandlesCommand(Command id) const override;
    void RunCommand(Command id) override;
    void UpdateCommand(Command id, CommandState& state) override;

    // INotificationView
    void OnUpdate(RssEvent hint, CRefCounted* object) override;

    // The "Channel" or "Group" menu of a row; null for the favourites item and the
    // special channels. Each action's data() holds its command's number. The caller owns it.
    QMenu* ContextMenuFor(const QModelIndex& index, QWidget* parent = nullptr) const;
    // Carries out a context-menu command on the node of a row (the channel's group for
    // the group commands of the channel menu).
    void RunRowCommand(Command id, CRssNode* node);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ShowContextMenu(const QModelIndex& index, const QPoint& globalPos);
    void ApplyExpansion(const QModelIndex& parent);
    void FollowDocument(CRssNode* node);
    void SelectQuietly(const QModelIndex& index);
    void DeleteRowNode(const QModelIndex& index);
    void AfterShapeChange();
    void LoadImages();

    CRssReaderDoc& m_document;
    CThemeColors& m_theme;
    IFrameServices& m_frame;
    ChannelTreeModel* m_model;
    CImageStrip m_strip;
    CChannelTreeDelegate* m_delegate;
    bool m_selectionHandling = true;
    bool m_favoritesExpanded = true;
};
