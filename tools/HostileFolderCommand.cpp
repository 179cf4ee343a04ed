// calvoria-tool hostile-folder DATA-ROOT [--rounds N] [--seed S] [--tool PATH]: damages
// copies of a data folder in random ways and refreshes each with calvoria-tool refresh (this
// one, or another build given with --tool, to compare), checking that nothing crashes or
// hangs and that no stored item readable before is lost.
#include "ToolCommands.h"
#include "ToolSupport.h"

#include "CFeedContext.h"
#include "CRssItem.h"
#include "FeedParser.h"
#include "XmlHelpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>
#include <libxml/tree.h>
#include <map>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const char* const kDamages[] = {"truncate", "flip bytes", "directory", "symlink", "fifo"};
constexpr int kRefreshTimeoutMs = 180000;

// The stored files of a data folder, relative to its root.
QStringList StoredFiles(const QString& root)
{
    QStringList files;
    for (const char* name : {"data.opml", "saved.rss", "search.rss"}) {
        if (QFileInfo::exists(root + QLatin1StringView(name)))
            files << QString::fromLatin1(name);
    }
    for (const QString& name : QDir(root + u"Feeds"_s).entryList({u"*.rss"_s}, QDir::Files))
        files << u"Feeds/"_s + name;
    return files;
}

bool CopyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to + u"Feeds"_s);
    for (const QString& file : StoredFiles(from)) {
        if (!QFile::copy(from + file, to + file))
            return false;
    }
    return true;
}

void CollectFeedUrls(const xmlNode* root, QSet<QString>& keys)
{
    VisitDescendants(root, [&keys](const xmlNode* node) {
        bool hasUrl = false;
        const QString url =
            node->type == XML_ELEMENT_NODE ? Attribute(node, "xmlUrl", &hasUrl) : QString();
        if (hasUrl)
            keys << Attribute(node, "text") + u'\n' + url;
        return false;
    });
}

// What can be read of a stored file, as keys: the subscriptions of an OPML file, the item
// identities of a channel file. Whatever the damage, as much as the XML reader recovers.
QSet<QString> ReadableKeys(CFeedContext& context, const QString& path)
{
    QSet<QString> keys;
    QFileInfo info(path);
    if (info.isSymLink() || !info.isFile())
        return keys;
    XmlDocPtr doc = ParseXmlFile(path, nullptr, XmlRecovery::KeepWhatIsWhole);
    if (!doc || !xmlDocGetRootElement(doc.get()))
        return keys;
    if (path.endsWith(u".opml"_s) || path.contains(u".opml.bad-"_s)) {
        CollectFeedUrls(reinterpret_cast<xmlNode*>(doc.get()), keys);
        return keys;
    }
    try {
        CFeedReader reader;
        RssChannelInfo channelInfo;
        if (reader.ReadChannelInfo(doc.get(), channelInfo, context.Now()) != kResultOk)
            return keys;
        for (xmlNode* node : reader.SelectItems().value_or(std::vector<xmlNode*>{})) {
            CRefPtr<CRssItem> item = CRssItem::Create(&context);
            // A deleted item may go at a refresh: it is not the person's news any more.
            if (ReadItemFields(*item, node, ItemSyntax::Rss, FeedOrigin::Stored) != kResultOk ||
                item->deleted)
                continue;
            item->UpdateIdentity();
            keys << IdentityHex(item->Identity());
        }
    } catch (...) {
    }
    return keys;
}

// The keys of a file after the refresh: the file itself and every copy kept aside.
QSet<QString> KeysAfter(CFeedContext& context, const QString& path)
{
    QSet<QString> keys = ReadableKeys(context, path);
    const QFileInfo info(path);
    for (const QString& bad : QDir(info.path()).entryList({info.fileName() + u".bad-*"_s}, QDir::Files))
        keys += ReadableKeys(context, info.path() + u'/' + bad);
    return keys;
}

QString Damage(QRandomGenerator& random, const QString& path, const QString& victim)
{
    const int kind = random.bounded(int(std::size(kDamages)));
    QFile file(path);
    switch (kind) {
    case 0:
        file.resize(random.bounded(qMax<qint64>(1, file.size())));
        break;
    case 1:
        if (file.open(QIODevice::ReadWrite) && file.size() > 0) {
            for (int i = random.bounded(1, 20); i > 0; --i) {
                file.seek(random.bounded(file.size()));
                const char byte = char(random.bounded(256));
                file.write(&byte, 1);
            }
        }
        break;
    case 2:
        QFile::remove(path);
        QDir().mkpath(path);
        break;
    case 3:
        QFile::remove(path);
        QFile::link(random.bounded(2) ? victim : u"/dev/zero"_s, path);
        break;
    case 4:
        QFile::remove(path);
        ::mkfifo(QFile::encodeName(path).constData(), 0644);
        break;
    }
    return QString::fromLatin1(kDamages[kind]);
}

int RunHostileFolderCommand(const QStringList& args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QString root;
    int rounds = 300;
    quint32 seed = 1;
    QString tool = QCoreApplication::applicationFilePath();
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == u"--tool"_s && i + 1 < args.size())
            tool = args[++i];
        else if (args[i] == u"--rounds"_s && i + 1 < args.size())
            rounds = args[++i].toInt();
        else if (args[i] == u"--seed"_s && i + 1 < args.size())
            seed = args[++i].toUInt();
        else if (root.isEmpty())
            root = QDir(args[i]).absolutePath() + u'/';
    }
    if (root.isEmpty() || StoredFiles(root).isEmpty()) {
        err << "usage: calvoria-tool hostile-folder DATA-ROOT [--rounds N] [--seed S] [--tool PATH]\n"
               "       (DATA-ROOT holds data.opml and Feeds/)\n";
        return 2;
    }

    CToolLog log;
    CToolServices services;
    CFeedContext context(services.App());
    QRandomGenerator random(seed);
    QTemporaryDir work;
    const QString victim = work.filePath(u"outside.txt"_s);
    const QByteArray precious = "a file outside the data folder\n";

    int crashes = 0, hangs = 0, failedRuns = 0, lost = 0, outsideWrites = 0, keptAside = 0;
    qint64 itemsBefore = 0;
    std::map<QString, int> byKind;
    QElapsedTimer timer;
    timer.start();
    for (int round = 0; round < rounds; ++round) {
        const QString copy = work.filePath(u"round%1/"_s.arg(round));
        if (!CopyFolder(root, copy)) {
            err << "cannot copy " << root << '\n';
            return 1;
        }
        QFile outside(victim);
        outside.open(QIODevice::WriteOnly | QIODevice::Truncate);
        outside.write(precious);
        outside.close();

        const QStringList files = StoredFiles(copy);
        const QString target = copy + files[random.bounded(int(files.size()))];
        ++byKind[Damage(random, target, victim)];
        std::map<QString, QSet<QString>> before;
        for (const QString& file : StoredFiles(copy)) {
            before[file] = ReadableKeys(context, copy + file);
            itemsBefore += before[file].size();
        }

        QProcess refresh;
        refresh.setProgram(tool);
        refresh.setArguments({u"refresh"_s, copy});
        refresh.start();
        if (!refresh.waitForFinished(kRefreshTimeoutMs)) {
            ++hangs;
            refresh.kill();
            refresh.waitForFinished();
            err << "round " << round << ": refresh did not end\n";
        } else if (refresh.exitStatus() == QProcess::CrashExit) {
            ++crashes;
            err << "round " << round << ": refresh crashed\n";
        } else if (refresh.exitCode() != 0) {
            ++failedRuns;
        }

        for (const auto& [file, keys] : before) {
            const QSet<QString> after = KeysAfter(context, copy + file);
            for (const QString& key : keys) {
                if (!after.contains(key)) {
                    ++lost;
                    err << "round " << round << ": lost " << key.simplified() << " of " << file
                        << '\n';
                }
            }
        }
        QDirIterator bad(copy, {u"*.bad-*"_s}, QDir::Files, QDirIterator::Subdirectories);
        while (bad.hasNext()) {
            bad.next();
            ++keptAside;
        }
        QFile check(victim);
        if (!check.open(QIODevice::ReadOnly) || check.readAll() != precious)
            ++outsideWrites;
        QDir(copy).removeRecursively();
    }

    out << "rounds " << rounds << " (";
    bool first = true;
    for (const auto& [kind, count] : byKind) {
        out << (first ? "" : ", ") << kind << ' ' << count;
        first = false;
    }
    out << ")\nrefresh exit 1 (said what failed) " << failedRuns << "\ncrashes " << crashes
        << "\nhangs " << hangs << "\nstored items and subscriptions checked " << itemsBefore
        << "\nlost " << lost << "\nfiles kept aside " << keptAside
        << "\nwrites outside the data folder " << outsideWrites << "\nseconds "
        << timer.elapsed() / 1000 << '\n';
    return crashes || hangs || lost || outsideWrites ? 1 : 0;
}

const ToolCommandRegistration kHostileFolderCommand{
    {"hostile-folder",
     "DATA-ROOT [--rounds N] [--seed S] [--tool PATH]\n                 damage copies of a data "
     "folder in N "
     "random ways, refresh each, check nothing is lost",
     RunHostileFolderCommand}};

} // namespace
