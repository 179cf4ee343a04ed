#include "DataCommand.h"

#include "CPreferences.h"
#include "OpmlExchange.h"
#include "TextHelpers.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTextStream>
#include <cstdio>
#include <ctime>

using namespace Qt::Literals::StringLiterals;

CToolArgs::CToolArgs(const QStringList& args, const QStringList& valueOptions,
                     const QStringList& flags)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!arg.startsWith(u"--"_s) || arg == u"--"_s) {
            m_positional << arg;
            continue;
        }
        QString name = arg, value;
        const qsizetype equals = arg.indexOf(u'=');
        if (equals > 0) {
            name = arg.left(equals);
            value = arg.mid(equals + 1);
        }
        if (valueOptions.contains(name)) {
            if (equals < 0) {
                if (i + 1 >= args.size()) {
                    m_error = name + u" needs a value"_s;
                    return;
                }
                value = args[++i];
            }
            m_values.insert(name, value);
        } else if (flags.contains(name) && equals < 0) {
            m_values.insert(name, {});
        } else {
            m_error = u"unknown option "_s + arg;
            return;
        }
    }
}

int UsageError(const char* command, const QString& message)
{
    const QString line = u"calvoria-tool %1: %2 (calvoria-tool help %1)\n"_s.arg(
        QString::fromLatin1(command), message);
    std::fputs(line.toLocal8Bit().constData(), stderr);
    return 2;
}

void PrintProblems(const CToolLog& log, QTextStream& err, qsizetype from)
{
    for (const QString& line : log.Lines().mid(from))
        if (line.startsWith(u"*ERROR"_s) || line.startsWith(u"*ITEM"_s) ||
            line.startsWith(u"Cannot"_s))
            err << line << '\n';
}

QString ProgramDataRoot()
{
    // The program's own settings, read only: the companion never writes them.
    QSettings store(u"Trevane Labs"_s, u"Calvoria"_s);
    const QString root = store.value(u"Options/Root"_s).toString();
    if (root.isEmpty() || QDir::isRelativePath(root))
        return CPreferences::DefaultDataRoot();
    return root;
}

CDataSession::CDataSession() = default;

CDataSession::~CDataSession()
{
    m_doc.reset(); // releases the folder's lock, saves nothing
}

bool CDataSession::Open(const QString& dataOption, QTextStream& err, bool readChannels)
{
    // The person's preferences (news per channel, voice) as the program has them.
    m_services.CopyUserSettings();
    const QString root = dataOption.isEmpty() ? ProgramDataRoot() : QDir(dataOption).absolutePath();
    if (!m_services.UseDataRoot(root, err))
        return false;
    m_context = std::make_unique<CFeedContext>(App());
    m_doc = std::make_unique<CRssReaderDoc>(*m_context);
    if (!m_doc->LoadNews()) {
        err << m_doc->LoadError() << '\n';
        return false;
    }
    if (!readChannels)
        return true;
    m_doc->WaitForChannels();
    for (const QString& problem : m_doc->LoadProblems())
        err << problem << '\n';
    return true;
}

bool CDataSession::OpenChannels(const QString& dataOption, const QString& name,
                                std::vector<CRefPtr<CRssChannel>>& channels, QTextStream& err,
                                bool readChannels)
{
    return Open(dataOption, err, readChannels) && ChannelsNamed(Root(), name, channels, err);
}

bool CDataSession::Save(QTextStream& err)
{
    if (m_doc->SaveNews())
        return true;
    for (const QString& error : m_doc->SaveErrors())
        err << error << '\n';
    return false;
}

namespace {

void CollectChannels(CRssNode& node, std::vector<CRefPtr<CRssChannel>>& channels)
{
    for (const CRefPtr<CRssNode>& child : node.ChildrenSnapshot()) {
        if (auto channel = NodeCast<CRssChannel>(child))
            channels.push_back(channel);
        else if (child->IsGroup())
            CollectChannels(*child, channels);
    }
}

} // namespace

std::vector<CRefPtr<CRssChannel>> ChannelsBelow(CRssNode& node)
{
    std::vector<CRefPtr<CRssChannel>> channels;
    if (auto* channel = NodeCast<CRssChannel>(&node))
        channels.emplace_back(channel);
    else
        CollectChannels(node, channels);
    return channels;
}

const char kGroupPathHelp[] =
    "  A group PATH joins the names from the root down with \"/\". Inside a name \"/\" and\n"
    "  \"\\\" are written \"\\/\" and \"\\\\\", a tab or line break \"\\t\", \"\\n\", \"\\r\":\n"
    "  \"a\\/b\" is the one group a/b, \"a/b\" the group b in a. Paths are printed so, ready\n"
    "  for --group.\n";

QString GroupPath(CRssNode* node)
{
    QStringList names;
    CRefPtr<CRssNode> at(node);
    while (at) {
        auto* group = NodeCast<CRssGroup>(at.get());
        if (!group || group->IsRoot())
            break;
        // A row's escapes and "\/": the path needs no more escaping in a row.
        names.prepend(TsvField(group->Name()).replace(u'/', u"\\/"_s));
        at = at->Parent();
    }
    return names.join(u'/');
}

QStringList GroupPathNames(const QString& path)
{
    QStringList names;
    QString name;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (path[i] == u'\\' && i + 1 < path.size()) {
            const QChar next = path[++i];
            if (next == u't')
                name += u'\t';
            else if (next == u'n')
                name += u'\n';
            else if (next == u'r')
                name += u'\r';
            else
                name += next; // "\/", "\\", and any other character as it is
        } else if (path[i] == u'/') {
            if (!name.isEmpty())
                names << name;
            name.clear();
        } else {
            name += path[i];
        }
    }
    if (!name.isEmpty())
        names << name;
    return names;
}

QVariant GroupPathValue(CRssNode* group)
{
    return QVariant::fromValue(GroupPathField{GroupPath(group)});
}

CRefPtr<CRssGroup> FindGroup(CRssGroup& root, const QString& path, bool create)
{
    CRefPtr<CRssGroup> at(&root);
    for (const QString& name : GroupPathNames(path)) {
        CRefPtr<CRssGroup> next;
        for (const CRefPtr<CRssNode>& child : at->ChildrenSnapshot())
            if (auto group = NodeCast<CRssGroup>(child); group && group->Name() == name) {
                next = group;
                break;
            }
        if (!next) {
            if (!create)
                return {};
            next = CRssGroup::Create(root.Context());
            next->Rename(name);
            at->AddChild(next.get());
        }
        at = next;
    }
    return at;
}

bool ChannelsNamed(CRssGroup& root, const QString& name,
                   std::vector<CRefPtr<CRssChannel>>& channels, QTextStream& err)
{
    if (name.isEmpty()) {
        channels = ChannelsBelow(root);
        return true;
    }
    QString error;
    CRefPtr<CRssChannel> channel = FindChannel(root, name, error);
    if (!channel) {
        err << error << '\n';
        return false;
    }
    channels = {channel};
    return true;
}

CRefPtr<CRssChannel> FindChannel(CRssGroup& root, const QString& text, QString& error)
{
    const QString key = FeedUrlKey(text);
    std::vector<CRefPtr<CRssChannel>> found;
    for (const CRefPtr<CRssChannel>& channel : ChannelsBelow(root))
        if ((!key.isEmpty() && FeedUrlKey(channel->Url()) == key) || channel->Name() == text)
            found.push_back(channel);
    if (found.size() == 1)
        return found.front();
    error = found.empty()
                ? u"no channel %1"_s.arg(text)
                : u"%1 channels are named %2: give the address"_s.arg(found.size()).arg(text);
    return {};
}

QString IsoTime(qint64 time)
{
    if (time <= 0)
        return {};
    // gmtime_r rather than QDateTime: lists print tens of thousands of these.
    const time_t seconds = time_t(time);
    struct tm utc{};
    if (!::gmtime_r(&seconds, &utc) || utc.tm_year + 1900 > 9999)
        return QDateTime::fromSecsSinceEpoch(time, Qt::UTC).toString(Qt::ISODate);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return QString::fromLatin1(text);
}

QString ItemId(const CRssItem& item)
{
    return HexDigest(QByteArray(reinterpret_cast<const char*>(item.Identity().data()),
                                int(item.Identity().size())));
}

const char* StateName(RssItemState state)
{
    switch (state) {
    case RssItemState::None:
        return "none";
    case RssItemState::PageCached:
        return "page-cached";
    case RssItemState::DownloadPending:
        return "download-pending";
    case RssItemState::Ready:
        return "ready";
    case RssItemState::Failed:
        return "failed";
    case RssItemState::FileMissing:
        return "file-missing";
    case RssItemState::PodcastPending:
        return "podcast-pending";
    }
    return "unknown";
}

void PrintRows(QTextStream& out, const QStringList& columns, const std::vector<ToolRow>& rows,
               bool json)
{
    if (json) {
        QJsonArray array;
        for (const ToolRow& row : rows) {
            QJsonObject object;
            for (qsizetype i = 0; i < columns.size() && i < row.size(); ++i)
                object.insert(columns[i], row[i].metaType() == QMetaType::fromType<GroupPathField>()
                                              ? QJsonValue(row[i].value<GroupPathField>().path)
                                              : QJsonValue::fromVariant(row[i]));
            array.append(object);
        }
        out << QJsonDocument(array).toJson(QJsonDocument::Indented);
        return;
    }
    out << columns.join(u'\t') << '\n';
    out.flush();
    for (const ToolRow& row : rows) {
        const QByteArray line = RowLine(row);
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    }
}

QByteArray RowLine(const ToolRow& row)
{
    QString line;
    for (const QVariant& value : row) {
        if (&value != &row.front())
            line += u'\t';
        if (value.typeId() == QMetaType::Bool) {
            line += value.toBool() ? u'1' : u'0';
            continue;
        }
        if (value.metaType() == QMetaType::fromType<GroupPathField>())
            line += static_cast<const GroupPathField*>(value.constData())->path;
        else
            line += TsvField(value.typeId() == QMetaType::QString
                                 ? *static_cast<const QString*>(value.constData())
                                 : value.toString());
    }
    line += u'\n';
    return line.toUtf8();
}

void PrintRowLines(QTextStream& out, const QStringList& columns,
                   const std::vector<QByteArray>& lines)
{
    out << columns.join(u'\t') << '\n';
    out.flush();
    for (const QByteArray& line : lines)
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
}
