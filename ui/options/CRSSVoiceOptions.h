#pragma once

#include "COptionsPage.h"

#include <QTemporaryDir>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QProcess;
class QSettings;
class QSlider;

// "Voice": the voice that speaks the news, its speed, the spoken opening, and a test that
// lets the person hear the choice.
class CRSSVoiceOptions : public COptionsPage
{
    Q_OBJECT
public:
    // speechChanged: the converter takes the new settings for its next item.
    CRSSVoiceOptions(QSettings& store, std::function<void()> speechChanged,
                     QWidget* parent = nullptr);
    ~CRSSVoiceOptions() override;

    // Speaks the test text with the chosen voice and speed, cutting off the one before.
    void Test();
    // The paragraph the test speaks.
    static QString TestText();

protected:
    void Initialize() override;
    void ApplyPage() override;

private:
    void Play(const QString& wavPath);

    QSettings& m_store;
    std::function<void()> m_speechChanged;
    QComboBox* m_voice;
    QSlider* m_rate;
    QCheckBox* m_opening;
    QTemporaryDir m_testFolder;
    int m_tests = 0;
    QProcess* m_player = nullptr;
};
