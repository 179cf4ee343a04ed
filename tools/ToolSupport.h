#pragma once

#include "CAppLog.h"
#include "CAppServices.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class QTextStream;

// One field of a tab-separated row: tab, newline, carriage return and backslash become
// \t, \n, \r and \\, so every row stays one line of its columns and reads back whole.
// Every printer of such rows goes through it.
QString TsvField(const QString& text);

// The process's own temporary folder: while the object lives every temporary file and
// folder of the command (TMPDIR points there) is made inside it. It goes with the object,
// and also when SIGINT, SIGTERM or SIGHUP ends the command, which then ends as the signal
// asks. One per process, made first thing in main.
class CToolTempRoot
{
public:
    CToolTempRoot();
    ~CToolTempRoot();
    CToolTempRoot(const CToolTempRoot&) = delete;
    CToolTempRoot& operator=(const CToolTempRoot&) = delete;

private:
    QByteArray m_path;
    QByteArray m_oldTmpDir;
    bool m_hadTmpDir = false;
};

// The process log of one command, kept in a temporary folder so that the command can show
// what went wrong without touching the program's own log.
class CToolLog
{
public:
    CToolLog();
    ~CToolLog();
    CToolLog(const CToolLog&) = delete;
    CToolLog& operator=(const CToolLog&) = delete;

    // The lines written so far, without their time stamps and without the log's own lines.
    QStringList Lines() const;
    // Writes Lines() to err, one a line.
    void Print(QTextStream& err) const;

private:
    QTemporaryDir m_folder;
    CAppLog m_log;
};

// The services of a command that works on a data folder: preferences in a settings file of
// its own (the user's settings stay untouched) with dataRoot as the data root.
class CToolServices
{
public:
    CToolServices();
    // False, with a line on err, when the data folder cannot be used.
    bool UseDataRoot(const QString& dataRoot, QTextStream& err);
    // Takes the preferences and voice settings from the user's own settings, read only.
    void CopyUserSettings();
    CAppServices& App() { return m_app; }

private:
    QTemporaryDir m_settingsFolder;
    CAppServices m_app;
};
