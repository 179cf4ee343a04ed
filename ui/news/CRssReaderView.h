#pragma once

#include "CCommandRouter.h"
#include "CRefCounted.h"
#include "INotificationView.h"
#include "NewsColumnLayout.h"

#include <QElapsedTimer>
#include <QPersistentModelIndex>
#include <QTreeView>
#include <functional>
#include <vector>

class CPreferences;
class CRssItem;
class CRssNode;
class CRssReaderDoc;
class CThemeColors;
class IFrameServices;
class NewsListModel;
class NewsRowDelegate;
class QMenu;

// The news list at the upper right of the main window: the news of the channel or group
// chosen in the tree, one row per item, with the commands that act on the selected item.
class CRssReaderView : public QTreeView, public ICommandTarget, public INotificationView
{
    Q_OBJECT
public:
    CRssReaderView(CRssReaderDoc& doc, CThemeColors& theme, IFrameServices& frame,
                   CPreferences& prefs, QWidget* parent = nullptr);
    ~CRssReaderView() override;

    // Sets the row height and the columns and shows the document's selection. Runs once,
    // by itself soon after construction, or earlier when called.
    void InitialUpdate();
    bool IsInitialized() const { return m_initialized; }

    NewsListModel& Model() const { return *m_model; }
    const NewsColumnLayout& Layout() const { return m_layout; }
    CRssItem* SelectedItem() const;
    // What Listen plays: the news of the list in its order from the selected one (from the
    // first when none is selected).
    std::vector<CRefPtr<CRssItem>> ItemsToListen() const;
    // The name of the channel or group the list shows.
    QString ShownName() const;

    // INotificationView
    void OnUpdate(RssEvent hint, CRefCounted* object) override;

    // ICommandTarget
    bool HandlesCommand(Command id) const override;
    void RunCommand(Command id) override;
    void UpdateCommand(Command id, CommandState& state) override;

    // Sorts by a column kind: the current one again reverses the order, another starts
    // ascending. The choice is saved with the preferences.
    void SortByKind(int kind);
    void SetColumnShown(int kind, bool shown);
    // The item's popup menu, as right click shows it.
    QMenu* CreateItemMenu(QWidget* parent);

    // Where "Save voice as" copies the voice file; the file dialog unless replaced.
    void SetSavePathChooser(std::function<QString(const QString& suggested)> chooser)
    {
        m_chooseSavePath = std::move(chooser);
    }

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyboardSearch(const QString& search) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void ShowNode(CRssNode* node);
    void SetOnlyUnread(bool onlyUnread);
    void SetHeaderText();
    void ApplyColumns();
    void ApplyColumnWidths();
    void ApplySortArrow();
    void ApplyRowHeight();
    void OnSectionResized(int logical, int oldSize, int newSize);
    void SelectRow(int row);
    int CurrentRow() const;
    // Selects the row that takes a removed row's place, or the one above at the end.
    void RemoveRowAndSelectNext(int row);

    void ToggleRead();
    void DeleteSelected();
    void MoveToSaved();
    void OpenSelected();
    void StepUnread(int step);
    int UnreadRowFrom(int row, int step) const;
    void SaveVoice();
    void PlayVoice();

    void RememberScroll();
    void RestoreScroll();

    CRssReaderDoc& m_doc;
    CThemeColors& m_theme;
    IFrameServices& m_frame;
    CPreferences& m_prefs;
    NewsListModel* m_model;
    NewsRowDelegate* m_delegate;
    NewsColumnLayout m_layout;
    NewsColumnLayout::PerKind m_widths{};
    bool m_initialized = false;
    bool m_applyingWidths = false;
    QPersistentModelIndex m_scrollAnchor;
    int m_scrollAnchorOffset = 0;
    QString m_search;
    QElapsedTimer m_searchTimer;
    std::function<QString(const QString&)> m_chooseSavePath;
};
