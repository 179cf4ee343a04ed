#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <ctime>

// The process log: a plain UTF-8 text file in which every line carries the local time of
// its message. Any thread may write; the lines of one message are never interleaved with
// another's, and each message reaches the file before Message() returns. While the file is
// open no other process can write to it, so a second running copy moves on to the next
// name. Writing never fails the caller: when no file could be opened, or a write fails,
// the text is dropped.
class CAppLog
{
public:
    CAppLog();
    ~CAppLog();
    CAppLog(const CAppLog&) = delete;
    CAppLog& operator=(const CAppLog&) = delete;

    // Tries "log.txt", then "log1.txt" ... "log9.txt" in each folder in turn, creating a
    // missing folder; the first name that opens wins and is emptied. Closes an open log
    // first.
    bool Open(const QStringList& folders);
    void Close();
    bool IsOpen() const;
    // Full path of the open file, empty when closed.
    QString FileName() const;
    // Writes one line per line feed of text; a CR before a LF is dropped and the piece
    // after the last LF is a line only when it is not empty.
    void Message(const QString& text);

private:
    void WriteLocked(QStringView text, std::time_t now) noexcept;

    mutable QMutex m_lock;
    int m_fd = -1;
    QString m_fileName;
};

// The process log used by the free functions below; nullptr drops every message. Whoever
// sets it must reset it before the log is destroyed.
void SetProcessLog(CAppLog* log);
void LogMessage(const QString& text);
// printf conventions; "%s" takes UTF-8 (pass qUtf8Printable(text)). The result is cut to
// its first 1024 UTF-16 characters.
void LogFormat(const char* format, ...) Q_ATTRIBUTE_FORMAT_PRINTF(1, 2);
// Logs string-table entry id.
void LogResource(int id);
