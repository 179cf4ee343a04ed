#include "ToolSupport.h"

#include "CPreferences.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTextStream>

using namespace Qt::Literals::StringLiterals;

CToolLog::CToolLog()
{
    m_log.Open({m_folder.path()});
    SetProcessLog(&m_log);
}

CToolLog::~CToolLog()
{
    SetProcessLog(nullptr);
}

QStringList CToolLog::Lines() const
{
    QFile file(m_log.FileName());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const qsizetype tab = line.indexOf(u'\t');
        const QString text = tab >= 0 ? line.mid(tab + 1).trimmed() : QString();
        if (!text.isEmpty() && text != u"Log file started"_s)
            lines << text;
    }
    return lines;
}

void CToolLog::Print(QTextStream& err) const
{
    for (const QString& line : Lines())
        err << line << '\n';
}

CToolServices::CToolServices() : m_app(QCoreApplication::applicationDirPath())
{
    m_app.SetPrefs(std::make_unique<CPreferences>(
        std::make_unique<QSettings>(m_settingsFolder.filePath(u"settings.ini"_s),
                                    QSettings::IniFormat),
        m_app.ProgramFolder()));
}

void CToolServices::CopyUserSettings()
{
    const QSettings user(u"Trevane Labs"_s, u"Calvoria"_s);
    QSettings& own = m_app.Prefs()->Store();
    for (const QString& key : user.allKeys())
        own.setValue(key, user.value(key));
    // The data root is given by the caller: Load must not make the default one meanwhile.
    own.setValue(u"Options/Root"_s, QDir::rootPath());
    m_app.Prefs()->Load(false);
}

bool CToolServices::UseDataRoot(const QString& dataRoot, QTextStream& err)
{
    if (m_app.Prefs()->ChangeRoot(dataRoot))
        return true;
    err << "cannot use data folder " << dataRoot << '\n';
    return false;
}
