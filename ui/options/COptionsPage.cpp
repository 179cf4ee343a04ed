#include "COptionsPage.h"

void COptionsPage::EnsureInitialized()
{
    if (m_initialized)
        return;
    // Filling the controls is not a change of the person's.
    Initialize();
    m_initialized = true;
    m_changed = false;
}

void COptionsPage::Apply()
{
    if (!m_initialized)
        return;
    ApplyPage();
    m_changed = false;
}

void COptionsPage::MarkChanged()
{
    if (!m_initialized)
        return;
    m_changed = true;
    Q_EMIT changed();
}
