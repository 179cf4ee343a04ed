#pragma once

#include <QWidget>

// One tab of the options sheet: it reads its controls from the preferences the first time
// it is shown, marks itself changed when the person changes something, and writes back on
// Apply. A page never shown is never applied.
class COptionsPage : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

    // Once per opening of the sheet, when the page is first shown.
    void EnsureInitialized();
    bool IsInitialized() const { return m_initialized; }
    bool IsChanged() const { return m_changed; }

    // The message for the person when a control holds what cannot be applied; empty when
    // everything can.
    virtual QString Problem() const { return {}; }
    // Writes the controls back; only called when Problem() is empty.
    void Apply();

Q_SIGNALS:
    void changed();

protected:
    virtual void Initialize() = 0;
    virtual void ApplyPage() = 0;
    void MarkChanged();

private:
    bool m_initialized = false;
    bool m_changed = false;
};
