#include "CPreferences.h"

#include "CAppLog.h"
#include "FolderHelpers.h"

#include <QDir>
#include <QSettings>
#include <QtEndian>
#include <limits>

using namespace Qt::Literals::StringLiterals;

const QUuid CPreferences::WebBrowserClassId{u"{8856F961-340A-11D0-A96B-00C04FD705A2}"_s};
const QUuid CPreferences::AlternativeBrowserClassId{u"{1339B54C-3453-11D2-93B9-000000000000}"_s};

namespace {

const QString kMainKey = u"Options/Main"_s;
const QString kReadStyleKey = u"Options/ReadStyle"_s;
const QString kRootKey = u"Options/Root"_s;
const QString kBrowserKey = u"Options/Browser"_s;
const QString kRemoteImagesKey = u"Options/LoadRemoteImages"_s;
const QString kAnnounceKey = u"Options/AnnounceNews"_s;

QString WithSlash(QString path)
{
    if (!path.isEmpty() && !path.endsWith(u'/'))
        path += u'/';
    return path;
}

// Little-endian reading and writing of the record's fields at their fixed offsets.
class RecordWriter
{
public:
    QByteArray bytes{CPreferences::RecordSize, '\0'};
    int pos = 0;
    void Int(qint32 v)
    {
        qToLittleEndian<qint32>(v, bytes.data() + pos);
        pos += 4;
    }
    void Byte(bool v) { bytes[pos++] = v ? 1 : 0; }
};

class RecordReader
{
public:
    explicit RecordReader(const QByteArray& b) : bytes(b) {}
    const QByteArray& bytes;
    int pos = 0;
    qint32 Int()
    {
        qint32 v = qFromLittleEndian<qint32>(bytes.constData() + pos);
        pos += 4;
        return v;
    }
    bool Byte() { return bytes[pos++] != 0; }
};

} // namespace

CPreferences::CPreferences(std::unique_ptr<QSettings> store, const QString& programFolder)
    : m_store(std::move(store)), m_programFolder(WithSlash(programFolder)),
      m_readingStyle(u"Default.xsl"_s), m_browserClassId(WebBrowserClassId)
{
}

CPreferences::~CPreferences() = default;

void CPreferences::SetDefaults()
{
    FromRecord(CPreferences(nullptr, QString()).ToRecord());
}

QByteArray CPreferences::ToRecord() const
{
    RecordWriter w;
    for (qint32 v : {version.load(), previewLines.load(), readingPanePosition.load(),
                     markReadDelayMs.load(), colorTheme.load(), sortOrder.load(),
                     checkIntervalMinutes.load(), reserved28.load(), reserved32.load(),
                     popupSeconds.load()})
        w.Int(v);
    for (bool v : {showNewsPopup.load(), showTrayWarning.load(), cleanDeviceFolder.load(),
                   showPreview.load(), showTimeSince.load(), largeButtons.load(),
                   limitNewsPerChannel.load(), removeOldVoice.load()})
        w.Byte(v);
    w.Int(newsPerChannel);
    w.Int(voiceMaxAgeDays);
    return w.bytes;
}

bool CPreferences::FromRecord(const QByteArray& record)
{
    if (record.size() != RecordSize)
        return false;
    RecordReader r(record);
    if (r.Int() != RecordVersion)
        return false;
    version = RecordVersion;
    for (CPrefField<qint32>* f : {&previewLines, &readingPanePosition, &markReadDelayMs,
                                  &colorTheme, &sortOrder, &checkIntervalMinutes, &reserved28,
                                  &reserved32, &popupSeconds})
        *f = r.Int();
    for (CPrefField<bool>* f : {&showNewsPopup, &showTrayWarning, &cleanDeviceFolder,
                                &showPreview, &showTimeSince, &largeButtons,
                                &limitNewsPerChannel, &removeOldVoice})
        *f = r.Byte();
    newsPerChannel = r.Int();
    voiceMaxAgeDays = r.Int();
    HoldToRanges();
    return true;
}

void CPreferences::HoldToRanges()
{
    const CPreferences defaults(nullptr, QString());
    struct Check
    {
        const char* name;
        CPrefField<qint32> CPreferences::*field;
        Range range;
    };
    static constexpr Check kChecks[] = {
        {"previewLines", &CPreferences::previewLines, PreviewLinesRange},
        {"readingPanePosition", &CPreferences::readingPanePosition, ReadingPaneRange},
        {"markReadDelayMs", &CPreferences::markReadDelayMs, MarkReadDelayRange},
        {"colorTheme", &CPreferences::colorTheme, ColorThemeRange},
        {"sortOrder", &CPreferences::sortOrder, SortKindRange},
        {"checkIntervalMinutes", &CPreferences::checkIntervalMinutes, CheckIntervalRange},
        {"popupSeconds", &CPreferences::popupSeconds, PopupSecondsRange},
        {"newsPerChannel", &CPreferences::newsPerChannel, NewsPerChannelRange},
        {"voiceMaxAgeDays", &CPreferences::voiceMaxAgeDays, VoiceMaxAgeRange},
    };
    for (const Check& check : kChecks) {
        CPrefField<qint32>& field = this->*check.field;
        const qint32 value = field;
        bool holds = check.range.Holds(value);
        // Descending sorts are stored negated.
        if (check.field == &CPreferences::sortOrder)
            holds =
                holds || (value != std::numeric_limits<qint32>::min() && check.range.Holds(-value));
        if (!holds) {
            field = (defaults.*check.field).load();
            LogFormat("Preference %s %d is out of range, %d is used", check.name, value,
                      field.load());
        }
    }
}

void CPreferences::Load(bool hasAlternativeBrowser)
{
    const QVariant stored = m_store->value(kMainKey);
    const QByteArray record = stored.isValid() ? stored.toByteArray() : QByteArray();
    if (stored.isValid() && record.size() == RecordSize) {
        if (!FromRecord(record))
            LogMessage(u"Version of prefernces is incorrect"_s);
    } else {
        LogMessage(u"Prefernces does not exist"_s);
    }

    SetReadingStyle(m_store->value(kReadStyleKey, u"Default.xsl"_s).toString());
    SetLoadRemoteImages(m_store->value(kRemoteImagesKey, true).toBool());
    bool announcerRead = false;
    const int announcer = m_store->value(kAnnounceKey).toInt(&announcerRead);
    SetAnnounceNewsWith(announcerRead && announcer == int(NewsAnnouncer::DesktopNotifications)
                            ? NewsAnnouncer::DesktopNotifications
                            : NewsAnnouncer::Popups);
    // The colour theme's table is derived from colorTheme by the window side.

    // A root that is not a full path would land wherever the program was started from.
    const QString root = m_store->value(kRootKey).toString();
    if (root.isEmpty() || QDir::isRelativePath(root)) {
        ChangeRoot(DefaultDataRoot());
    } else {
        QWriteLocker lock(&m_lock);
        m_dataRoot = root;
    }
    LogFormat("Root dir '%s'", qUtf8Printable(DataRoot()));
    {
        QWriteLocker lock(&m_lock);
        m_dataRoot = WithSlash(m_dataRoot);
    }

    m_browserClassId = WebBrowserClassId;
    if (m_store->value(kBrowserKey, 0).toInt() == 1) {
        if (hasAlternativeBrowser)
            m_browserClassId = AlternativeBrowserClassId;
        else
            LogMessage(u"*ERROR: Requested to use FireFox, but FireFox not installed"_s);
    }
}

void CPreferences::SaveAll()
{
    LogMessage(u"Saving preferences"_s);
    m_store->setValue(kMainKey, ToRecord());
    m_store->setValue(kReadStyleKey, ReadingStyle());
    m_store->setValue(kRemoteImagesKey, LoadRemoteImages());
    m_store->setValue(kAnnounceKey, int(AnnounceNewsWith()));
    m_store->sync();
}

bool CPreferences::ChangeRoot(const QString& path)
{
    LogMessage(u"Changing Root"_s);
    if (path.isEmpty())
        return false;
    const QString root = WithSlash(path);
    if (!MakeRootFolders(root))
        return false;
    {
        QWriteLocker lock(&m_lock);
        m_dataRoot = root;
    }
    m_store->setValue(kRootKey, root);
    m_store->sync();
    return true;
}

bool CPreferences::MakeRootFolders(const QString& path)
{
    const QString root = WithSlash(path);
    for (const QString& folder : {root, root + u"Voice/"_s, root + u"Feeds/"_s, root + u"MP3/"_s})
        if (!EnsureFolder(folder))
            return false;
    return true;
}

QString CPreferences::ResolveTypedRoot(const QString& typed)
{
    QString path = QDir::fromNativeSeparators(typed.trimmed());
    if (path.isEmpty())
        return {};
    if (path == u"~"_s)
        path = QString();
    else if (path.startsWith(u"~/"_s))
        path = path.mid(2);
    return WithSlash(QDir::cleanPath(QDir::home().absoluteFilePath(path)));
}

QString CPreferences::ReadingStyle() const
{
    QReadLocker lock(&m_lock);
    return m_readingStyle;
}

void CPreferences::SetReadingStyle(const QString& style)
{
    QWriteLocker lock(&m_lock);
    m_readingStyle = style;
}

QString CPreferences::DataRoot() const
{
    QReadLocker lock(&m_lock);
    return m_dataRoot;
}

QString CPreferences::FeedsFolder() const
{
    return DataRoot() + u"Feeds/"_s;
}

QString CPreferences::VoiceFolder() const
{
    return DataRoot() + u"Voice/"_s;
}

QString CPreferences::Mp3Folder() const
{
    return DataRoot() + u"MP3/"_s;
}

QString CPreferences::StylesFolder() const
{
    return m_programFolder + u"../Options/"_s;
}

QString CPreferences::DefaultDataRoot()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + u"/.local/share"_s;
    return WithSlash(base) + u"Calvoria/"_s;
}
