// calvoria-tool serve: the prepared audio as a podcast for phones on the home network, as
// the window serves it, without the window.
#include "DataCommand.h"
#include "ToolCommands.h"

#include "CAudioServer.h"
#include "CPreferences.h"
#include "ShareSettings.h"
#include "StoredFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTextStream>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kRebuildSeconds = 60;

// The program's picture: installed beside the program, or made in the build tree.
QByteArray ProgramIconPng()
{
    const QString folder = QCoreApplication::applicationDirPath();
    const QString name = u"org.calvoria.calvoria.png"_s;
    for (const QString& path : {folder + u"/../../../share/icons/hicolor/256x256/apps/"_s + name,
                                folder + u"/../desktop/icons/256/"_s + name,
                                u"/usr/share/icons/hicolor/256x256/apps/"_s + name}) {
        QByteArray png;
        if (ReadStoredFile(path, 1 << 20, png) == StoredRead::Ok && png.startsWith("\x89PNG"))
            return png;
    }
    return {};
}

// The address a phone reaches a server listening on every address at: this computer's
// first network address (IPv4, not link-local).
QString ReachableAddress(const QString& address)
{
    if (address != u"0.0.0.0"_s && address != u"::"_s && !address.isEmpty())
        return address;
    QString found = u"127.0.0.1"_s;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return found;
    for (const ifaddrs* at = list; at; at = at->ifa_next) {
        if (!at->ifa_addr || at->ifa_addr->sa_family != AF_INET || !(at->ifa_flags & IFF_UP) ||
            (at->ifa_flags & IFF_LOOPBACK))
            continue;
        const in_addr ip = reinterpret_cast<const sockaddr_in*>(at->ifa_addr)->sin_addr;
        if ((ntohl(ip.s_addr) >> 16) == 0xA9FE) // 169.254.0.0/16 changes
            continue;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &ip, text, sizeof text);
        found = QString::fromLatin1(text);
        break;
    }
    ::freeifaddrs(list);
    return found;
}

// The modification times of what a new snapshot reads: the tree, the saved news, the
// channel files' folder (files there are replaced by renames) and the MP3 folder.
QList<qint64> Fingerprint(const QStringList& paths)
{
    QList<qint64> times;
    for (const QString& path : paths) {
        struct stat st;
        const bool ok = ::stat(QFile::encodeName(path).constData(), &st) == 0;
        times << (ok ? qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec : -1)
              << (ok ? qint64(st.st_size) : -1);
    }
    return times;
}

struct ServeOptions
{
    QString data;
    QStringList groupPaths;  // --group: paths
    QStringList groupNames;  // the settings' top-level group names, without --group
    ShareSettings share;
    QByteArray icon;
};

// Reads the data folder (taking its lock only meanwhile) and builds what is served. Null,
// with the reason on err, when the folder cannot be read now.
std::shared_ptr<const ShareSnapshot> Snapshot(const ServeOptions& options, QTextStream& err)
{
    CDataSession session;
    if (!session.Open(options.data, err))
        return {};
    ShareSource source;
    source.root = &session.Root();
    source.savedNews = &session.Doc().SavedNews();
    for (const QString& path : options.groupPaths)
        source.groups.push_back(FindGroup(session.Root(), path, false).get());
    for (const QString& name : options.groupNames) {
        const CRssGroup* found = nullptr;
        for (const CRefPtr<CRssNode>& child : session.Root().ChildrenSnapshot())
            if (const auto* group = NodeCast<CRssGroup>(child.get()); group && group->Name() == name) {
                found = group;
                break;
            }
        source.groups.push_back(found);
    }
    source.baseUrl = options.share.BaseUrl();
    source.secret = options.share.secret;
    source.iconPng = options.icon;
    return BuildShareSnapshot(source);
}

// The --group options, which may come more than once; the rest is left in args.
QStringList TakeGroups(QStringList& args, QString& error)
{
    QStringList groups;
    for (qsizetype i = 0; i < args.size();) {
        if (args[i].startsWith(u"--group="_s)) {
            groups << args.takeAt(i).mid(8);
        } else if (args[i] == u"--group"_s) {
            if (i + 1 >= args.size()) {
                error = u"--group needs a value"_s;
                return {};
            }
            args.removeAt(i);
            groups << args.takeAt(i);
        } else {
            ++i;
        }
    }
    return groups;
}

int RunServeCommand(const QStringList& arguments)
{
    // SIGINT, SIGTERM and SIGHUP end the serving in order: held back from every thread
    // (the server's start from this one) and taken below.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&endSignals, sig);
    sigset_t oldMask;
    pthread_sigmask(SIG_BLOCK, &endSignals, &oldMask);

    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = arguments;
    QString error;
    ServeOptions options;
    options.groupPaths = TakeGroups(args, error);
    if (!error.isEmpty())
        return UsageError("serve", error);
    const CToolArgs parsed(args, {u"--address"_s, u"--port"_s, u"--data"_s}, {});
    if (!parsed.Ok())
        return UsageError("serve", parsed.Error());
    if (!parsed.Positional().isEmpty())
        return UsageError("serve", u"unexpected "_s + parsed.Positional().first());
    {
        // The program's own settings: the secret is made and kept there when there is none,
        // so that the window and the companion serve the same addresses.
        QSettings user(u"Trevane Labs"_s, u"Calvoria"_s);
        options.share = ShareSettings::Load(user);
        user.sync();
    }
    if (parsed.Has(u"--address"_s))
        options.share.address = parsed.Value(u"--address"_s);
    if (parsed.Has(u"--port"_s)) {
        bool ok = false;
        options.share.port = parsed.Value(u"--port"_s).toInt(&ok);
        if (!ok || options.share.port < 0 || options.share.port > 65535)
            return UsageError("serve", u"the port is a number from 0 to 65535"_s);
    }
    if (options.groupPaths.isEmpty())
        options.groupNames = options.share.groups;
    options.data = parsed.Value(u"--data"_s);
    options.icon = ProgramIconPng();

    // The data folder is read before anything is served: in use, it is refused as by the
    // other commands.
    QStringList watched;
    {
        CDataSession check;
        if (!check.Open(options.data, err, false))
            return 1;
        for (const QString& path : options.groupPaths)
            if (!FindGroup(check.Root(), path, false)) {
                err << "no group " << path << '\n';
                return 1;
            }
        const CPreferences& prefs = *check.App().Prefs();
        watched = {check.Doc().OpmlFile(), check.Doc().SavedNewsFile(), prefs.FeedsFolder(),
                   prefs.Mp3Folder()};
    }

    CAudioServer server;
    if (!server.Start(options.share.address, options.share.port, &error)) {
        err << "cannot share audio on " << options.share.address << ':' << options.share.port
            << ": " << error << '\n';
        return 1;
    }
    const QString listening = options.share.address;
    options.share.address = ReachableAddress(listening);
    options.share.port = server.Port();
    QList<qint64> seen = Fingerprint(watched);
    std::shared_ptr<const ShareSnapshot> snapshot = Snapshot(options, err);
    if (!snapshot)
        return 1;
    server.Publish(snapshot);
    const int feeds = int(options.groupPaths.size() + options.groupNames.size());
    for (int feed = 0; feed <= feeds; ++feed)
        if (snapshot->feeds.contains(ShareSettings::FeedFile(feed)))
            out << options.share.BaseUrl() << ShareSettings::FeedFile(feed) << '\n';
    out.flush();
    err << "serving " << snapshot->files.size() << " files on " << listening << ':'
        << server.Port() << " until stopped (Ctrl+C)\n";
    err.flush();

    // New audio is published as it comes; a data folder in use meanwhile (the program, a
    // refresh) keeps what was published until it is free again.
    bool wasBusy = false;
    for (;;) {
        const timespec wait{kRebuildSeconds, 0};
        const int sig = ::sigtimedwait(&endSignals, nullptr, &wait);
        if (sig > 0)
            break;
        if (sig < 0 && errno != EAGAIN)
            continue;
        const QList<qint64> now = Fingerprint(watched);
        if (now == seen)
            continue;
        QString busy;
        QTextStream reason(&busy);
        if (auto next = Snapshot(options, reason)) {
            server.Publish(std::move(next));
            seen = now;
            wasBusy = false;
        } else if (!wasBusy) {
            err << "keeping the published feeds: " << busy.trimmed() << '\n';
            err.flush();
            wasBusy = true;
        }
    }
    server.Stop();
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    return 0;
}

const ToolCommandRegistration kServeCommand{
    {"serve",
     "[--address A] [--port P] [--data DIR] [--group PATH]...\n"
     "                 serve the prepared audio as a podcast on the home network",
     RunServeCommand,
     "  Prints the address of each feed, one a line, once it listens: the feed of all audio,\n"
     "  then one per group. Serves until SIGINT or SIGTERM, and publishes new audio within a\n"
     "  minute. The address, port, groups and secret default to the Share audio options\n"
     "  (Share/Address, Share/Port, Share/Groups, Share/Secret); a missing secret is made and\n"
     "  stored there. --port 0 takes any free port. --group PATH (again for more groups)\n"
     "  gives the groups with feeds of their own instead.\n"}};

} // namespace
