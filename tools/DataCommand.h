#pragma once

#include "CFeedContext.h"
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"
#include "CRssReaderDoc.h"
#include "ToolSupport.h"

#include <QMap>
#include <QVariantList>
#include <QStringList>
#include <memory>
#include <vector>

class QTextStream;

// The arguments of one command: options that take a value, flags, and the rest in order.
// Every data command takes --data DIR.
class CToolArgs
{
public:
    CToolArgs(const QStringList& args, const QStringList& valueOptions, const QStringList& flags);
    bool Ok() const { return m_error.isEmpty(); }
    QString Error() const { return m_error; }
    const QStringList& Positional() const { return m_positional; }
    bool Has(const QString& option) const { return m_values.contains(option); }
    QString Value(const QString& option) const { return m_values.value(option); }

private:
    QMap<QString, QString> m_values;
    QStringList m_positional;
    QString m_error;
};

// The log lines of a failure from line `from` on: errors, item messages, load failures.
void PrintProblems(const CToolLog& log, QTextStream& err, qsizetype from = 0);

// Bad usage: one line on standard error, exit code 2.
int UsageError(const char* command, const QString& message);

// The data root the program uses: the one stored in the user's settings, else the default.
QString ProgramDataRoot();

// The person's data folder, opened as the program opens it: locked against the program and
// other companions, loaded, every channel file read. Window-less, no queues.
class CDataSession
{
public:
    CDataSession();
    ~CDataSession();
    // dataOption: the --data value, empty for the program's data root. False with a line on
    // err when the folder cannot be used or is in use.
    // readChannels false: only data.opml is read; the channels' news stay on disk.
    bool Open(const QString& dataOption, QTextStream& err, bool readChannels = true);
    // Open, then the channels as ChannelsNamed gives them for name ("" for all).
    bool OpenChannels(const QString& dataOption, const QString& name,
                      std::vector<CRefPtr<CRssChannel>>& channels, QTextStream& err,
                      bool readChannels = true);
    // False with the failures on err.
    bool Save(QTextStream& err);

    CAppServices& App() { return m_services.App(); }
    CFeedContext& Context() { return *m_context; }
    CRssReaderDoc& Doc() { return *m_doc; }
    CRssGroup& Root() { return m_doc->RootGroup(); }

private:
    CToolServices m_services;
    std::unique_ptr<CFeedContext> m_context;
    std::unique_ptr<CRssReaderDoc> m_doc;
};

// Every channel below node, in tree order.
std::vector<CRefPtr<CRssChannel>> ChannelsBelow(CRssNode& node);
// Every channel below root, or only the one named when name is not empty; false with the
// reason on err when no single channel matches.
bool ChannelsNamed(CRssGroup& root, const QString& name,
                   std::vector<CRefPtr<CRssChannel>>& channels, QTextStream& err);
// Group paths name the groups from the root down, joined by "/". Inside a name "/" and "\"
// are written "\/" and "\\", a tab, line feed or carriage return "\t", "\n", "\r": "a\/b"
// is the one group "a/b", "a/b" the group b inside a. Every command prints them so and takes
// them so, and a printed path holds nothing that tab-separated rows must escape: the rows
// show it as it is, ready for --group. The help of each command says how (kGroupPathHelp).
extern const char kGroupPathHelp[];
// "News/Tech" for a group two levels below the root; "" for the root.
QString GroupPath(CRssNode* group);
// The group names a path gives, from the root down (empty names are left out).
QStringList GroupPathNames(const QString& path);
// A group path as a field of a row: printed as it is, also in tab-separated rows.
struct GroupPathField {
    QString path;
};
QVariant GroupPathValue(CRssNode* group);
// The group at path ("" or "/" is the root); with create, missing groups are made.
CRefPtr<CRssGroup> FindGroup(CRssGroup& root, const QString& path, bool create);
// The channel whose address (normalised) or name is text. Null with error set when none or
// more than one matches.
CRefPtr<CRssChannel> FindChannel(CRssGroup& root, const QString& text, QString& error);
// "2026-12-07T10:00:00Z", or "" for no time.
QString IsoTime(qint64 time);
const char* StateName(RssItemState state);
// A news item's id for scripts: its identity, 32 hexadecimal digits.
QString ItemId(const CRssItem& item);

// Rows for scripts: tab-separated under a heading line of the column names, or with json a
// JSON array of objects keyed by the column names.
using ToolRow = QVariantList;
void PrintRows(QTextStream& out, const QStringList& columns, const std::vector<ToolRow>& rows,
               bool json);
// One row as PrintRows writes it without json: a line in UTF-8, newline included, each
// text through TsvField. Long lists
// make their lines where the rows are made and print them with PrintRowLines.
QByteArray RowLine(const ToolRow& row);
void PrintRowLines(QTextStream& out, const QStringList& columns,
                   const std::vector<QByteArray>& lines);
