#pragma once

#include "CPrefField.h"

#include <QByteArray>
#include <QReadWriteLock>
#include <QString>
#include <QUuid>
#include <atomic>
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

    // The values a numeric field may hold. Every record read is held to them: a field
    // outside its range takes its default, since a damaged or foreign record must not
    // make an update delete every news item or every voice file.
    struct Range
    {
        qint32 min;
        qint32 max;
        constexpr bool Holds(qint32 value) const { return value >= min && value <= max; }
    };
    static constexpr Range PreviewLinesRange{1, 9};
    static constexpr Range ReadingPaneRange{0, 2};
    static constexpr Range MarkReadDelayRange{1000, 24 * 3600 * 1000};
    static constexpr Range ColorThemeRange{0, 3}; // Blue, Silver, Olive, System
    static constexpr Range SortKindRange{1, 7};   // |sortOrder|: news list column kind + 1
    static constexpr Range CheckIntervalRange{1, 366 * 24 * 60};
    static constexpr Range PopupSecondsRange{1, 3600};
    static constexpr Range NewsPerChannelRange{1, 100000};
    static constexpr Range VoiceMaxAgeRange{1, 36500};

    void SetDefaults();
    QByteArray ToRecord() const;
    // Copies a stored record over the fields when it has the right size and version;
    // fields out of their ranges take their defaults (logged).
    bool FromRecord(const QByteArray& record);

    // Reads everything from the store; hasAlternativeBrowser tells whether the
    // alternative reading-pane browser was found at start-up.
    void Load(bool hasAlternativeBrowser);
    // Writes Main and ReadStyle.
    void SaveAll();
    // Switches to a new data root when all its folders exist or can be made; the old
    // root stays otherwise. Returns whether the new root is in force.
    bool ChangeRoot(const QString& path);
    // Makes the data root path and the folders in it; false at the first that cannot be.
    static bool MakeRootFolders(const QString& path);

    // The folder a person typed as data root: relative paths and "~" start at the home
    // folder, not at wherever the program happened to be started. Empty for empty text.
    static QString ResolveTypedRoot(const QString& typed);

    QString ReadingStyle() const;
    void SetReadingStyle(const QString& style);
    // Whether item pages may fetch images and other content from the web (its own entry,
    // Options/LoadRemoteImages; read by Load, written by SaveAll).
    bool LoadRemoteImages() const { return m_loadRemoteImages.load(); }
    void SetLoadRemoteImages(bool load) { m_loadRemoteImages.store(load); }
    // How new news are announced (its own entry, Options/AnnounceNews; a stored value that
    // is none of these loads as the popups).
    enum class NewsAnnouncer : qint32
    {
        Popups = 0,
        DesktopNotifications = 1
    };
    NewsAnnouncer AnnounceNewsWith() const { return m_announcer.load(); }
    void SetAnnounceNewsWith(NewsAnnouncer announcer) { m_announcer.store(announcer); }
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
    void HoldToRanges();

    std::unique_ptr<QSettings> m_store;
    QString m_programFolder;
    mutable QReadWriteLock m_lock; // guards the strings below; workers read the folders
    QString m_dataRoot;
    QString m_readingStyle;
    QUuid m_browserClassId;
    std::atomic<bool> m_loadRemoteImages{true};
    std::atomic<NewsAnnouncer> m_announcer{NewsAnnouncer::Popups};
};
