#pragma once

#include <QDialog>
#include <QList>

class COptionsPage;
class QPushButton;
class QTabWidget;

// The options sheet: a tab per page; OK applies every page that was shown and closes,
// Apply applies and stays, Cancel drops what was not applied. A page whose controls hold
// what cannot be applied keeps the sheet open on it with a message.
class CRSSPropSht : public QDialog
{
    Q_OBJECT
public:
    explicit CRSSPropSht(QWidget* parent = nullptr);

    // Takes the page; the tab shows `title`.
    void AddPage(COptionsPage* page, const QString& title);
    QTabWidget* Tabs() const { return m_tabs; }
    QPushButton* ApplyButton() const { return m_apply; }

    // Applies every shown page; false, with the page and its message shown, when one
    // cannot be applied.
    bool ApplyAll();

    void accept() override;

private:
    void ShowPage(int index);
    void UpdateApply();

    QTabWidget* m_tabs;
    QPushButton* m_apply;
    QList<COptionsPage*> m_pages;
};
