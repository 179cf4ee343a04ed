#pragma once

#include "COptionsPage.h"
#include "CRssReaderDoc.h"

#include <functional>

class CPreferences;
class IFrameServices;
class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// "General": the data folder, the number of news kept per channel and the age of voice
// files, with the sizes of both caches, and whether the program starts at log-in (the box
// shows the autostart entry as it is, not a stored choice), and how new news are announced.
class CRSSGeneralOptions : public COptionsPage
{
    Q_OBJECT
public:
    // changeDataRoot makes another folder the data root (CRssReaderDoc::ChangeDataRoot);
    // false with a message when it cannot.
    using RootChanger =
        std::function<bool(const QString& path, DataRootChange change, QString* error)>;
    CRSSGeneralOptions(CPreferences& prefs, IFrameServices& frame, RootChanger changeDataRoot,
                       QWidget* parent = nullptr);

    QString Problem() const override;

protected:
    void Initialize() override;
    void ApplyPage() override;

private:
    void UpdateEnables();
    void ApplyDataFolder();

    CPreferences& m_prefs;
    IFrameServices& m_frame;
    RootChanger m_changeDataRoot;
    QLineEdit* m_folder;
    QCheckBox* m_limit;
    QLineEdit* m_newsPerChannel;
    QLabel* m_newsCache;
    QCheckBox* m_removeOld;
    QLineEdit* m_days;
    QLabel* m_voiceCache;
    QCheckBox* m_autostart;
    QRadioButton* m_announcePopups;
    QRadioButton* m_announceDesktop;
};
