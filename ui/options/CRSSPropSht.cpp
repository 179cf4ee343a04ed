#include "CRSSPropSht.h"

#include "COptionsPage.h"
#include "StringTable.h"

#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kOptionsCaption = 133;

} // namespace

CRSSPropSht::CRSSPropSht(QWidget* parent) : QDialog(parent), m_tabs(new QTabWidget)
{
    setObjectName(u"optionsSheet"_s);
    setWindowTitle(LoadString(kOptionsCaption));
    setAccessibleName(windowTitle());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                         QDialogButtonBox::Apply);
    m_apply = buttons->button(QDialogButtonBox::Apply);
    m_apply->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &CRSSPropSht::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CRSSPropSht::reject);
    connect(m_apply, &QPushButton::clicked, this, [this] { ApplyAll(); });
    connect(m_tabs, &QTabWidget::currentChanged, this, &CRSSPropSht::ShowPage);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
}

void CRSSPropSht::AddPage(COptionsPage* page, const QString& title)
{
    m_pages << page;
    connect(page, &COptionsPage::changed, this, &CRSSPropSht::UpdateApply);
    m_tabs->addTab(page, title);
    if (m_tabs->count() == 1)
        ShowPage(0);
}

void CRSSPropSht::ShowPage(int index)
{
    if (index >= 0 && index < m_pages.size())
        m_pages[index]->EnsureInitialized();
}

void CRSSPropSht::UpdateApply()
{
    bool any = false;
    for (const COptionsPage* page : m_pages)
        any = any || page->IsChanged();
    m_apply->setEnabled(any);
}

bool CRSSPropSht::ApplyAll()
{
    for (COptionsPage* page : m_pages) {
        if (!page->IsInitialized())
            continue;
        const QString problem = page->Problem();
        if (!problem.isEmpty()) {
            m_tabs->setCurrentWidget(page);
            QMessageBox::warning(this, windowTitle(), problem);
            return false;
        }
    }
    for (COptionsPage* page : m_pages)
        page->Apply();
    UpdateApply();
    return true;
}

void CRSSPropSht::accept()
{
    if (ApplyAll())
        QDialog::accept();
}
