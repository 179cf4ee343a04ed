#pragma once

#include "CPrefField.h"

#include <QByteArray>
#include <QReadWriteLock>
#include <QString>
#include <QUuid>
#include <memory>

class QSettings;

// The user's settings: the 56-byte record stored as Options/Main, the reading style, the
// browser choice and the data root with the folders under it.
class CPreferences
{
public:
    static constexpr int RecordSize = 56;
    static constexpr qint32 RecordVersion = 6;

    // Reading-pane browser classes; only the standard one exists on this platform.
    static const QUuid WebBrowserClassId;
    static const QUuid AlternativeBrowserClassId;

    // store: the per-user settings store; programFolder ends with "/".
    CPreferences(std::unique_ptr<QSettings> store, const QString& programFolder);
    ~CPreferences();

    // The record, field by field, in stored order.
    CPrefField<qint32> version{RecordVersion};
    CPrefField<qint32> previewLines{2};
    CPrefField<qint32> readingPanePosition{2};
    CPrefField<qint32> markReadDelayMs{2000};
    CPrefField<qint32> colorTheme{0};
    CPrefField<qint32> sortOrder{-4};
    CPrefField<qint32> checkIntervalMinutes{15};
    CPrefField<qint32> reserved28{0};
    CPrefField<qint32> reserved32{3};
    CPrefField<qint32> popupSeconds{15};
    CPrefField<bool> showNewsPopup{true};
    CPrefField<bool> showTrayWarning{true};
    CPrefField<bool> cleanDeviceFolder{true};
    CPrefField<bool> showPreview{true};
    CPrefField<bool> showTimeSince{true};
    CPrefField<bool> largeButtons{true};
    CPrefField<bool> limitNewsPerChannel{true};
    CPrefField<bool> removeOldVoice{true};
    CPrefField<qint32> newsPerChannel{200};
    CPrefField<qint32> voiceMaxAgeDays{4};

    void SetDefaults();
    QByteArray ToRecord() const;
    // Copies a stored record over the fields when it has the right size and version.
    bool FromRecord(const QByteArray& record);

    // Reads everything from the store; hasAlternativeBrowser tells whether the
    // alternative reading-pane browser was found at start-up.
    void Load(bool hasAlternativeBrowser);
    // Writes Main and ReadStyle.
    void SaveAll();
    // Switches to a new data root when all its folders exist or can be made; the old
    // root stays otherwise. Returns whether the new root is in force.
    bool ChangeRoot(const QString& path);

    QString ReadingStyle() const;
    void SetReadingStyle(const QString& style);
    QUuid BrowserClassId() const { return m_browserClassId; }

    // Folders, each ending with "/". DataRoot is empty when no root could be made.
    QString ProgramFolder() const { return m_programFolder; }
    QString DataRoot() const;
    QString FeedsFolder() const;
    QString VoiceFolder() const;
    QString Mp3Folder() const;
    QString StylesFolder() const;
    // The data root used while none is stored: the user's data folder + "Calvoria/".
    static QString DefaultDataRoot();

    QSettings& Store() { return *m_store; }

private:
    std::unique_ptr<QSettings> m_store;
    QString m_programFolder;
    mutable QReadWriteLock m_lock; // guards the strings below; workers read the folders
    QString m_dataRoot;
    QString m_readingStyle;
    QUuid m_browserClassId;
};
