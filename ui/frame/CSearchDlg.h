#pragma once

#include <QWidget>

class CRssReaderDoc;
class CThemeColors;
class QComboBox;
class QLabel;
class QPushButton;

// The search bar above the news side: "Look for:", a drop-down of this run's search texts
// and "Find Now", which fills the document's "Search Result" channel. Enter in the text
// field searches; Escape hides the bar.
class CSearchDlg : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kComboId = 1007;
    static constexpr int kFindNowId = 1038;

    CSearchDlg(const CThemeColors* theme, QWidget* parent = nullptr);

    // The document to search; without one "Find Now" does nothing.
    void setDocument(CRssReaderDoc* document) { m_document = document; }

    QString searchText() const;
    void setSearchText(const QString& text);
    // This run's earlier search texts, in the drop-down's order.
    QStringList history() const;
    QComboBox* comboBox() const { return m_combo; }
    QPushButton* findNowButton() const { return m_findNow; }

    // Shows the bar and puts the keyboard in the text field.
    void activate();
    // Runs the search; returns the number of matching items, -1 without a document.
    int findNow();

    QSize sizeHint() const override;

Q_SIGNALS:
    void searched(int found);
    // The person closed the bar from the keyboard.
    void closed();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void rememberText(const QString& text);
    void applyTheme();
    void placeControls();

    const CThemeColors* m_theme;
    CRssReaderDoc* m_document = nullptr;
    QLabel* m_label;
    QComboBox* m_combo;
    QPushButton* m_findNow;
    // Distances recorded from the first layout and kept on every resize.
    QPoint m_comboTopLeft;
    int m_comboRight = 0;
    int m_comboBottom = 0;
    int m_gap = 0;
    int m_buttonBottom = 0;
};
