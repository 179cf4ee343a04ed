#include "ToolCommands.h"

#include "ToolSupport.h"
#include "CAppServices.h"
#include "CFeedContext.h"
#include "CHttpSession.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedFetcher.h"
#include "FeedParser.h"
#include "XmlHelpers.h"

#include <QDateTime>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace {

QString KindName(RssFeedKind kind)
{
    switch (kind) {
    case RssFeedKind::Rss:
        return u"RSS 0.9x/2.0"_s;
    case RssFeedKind::Rdf:
        return u"RSS 1.0"_s;
    case RssFeedKind::Atom:
        return u"Atom"_s;
    case RssFeedKind::Unknown:
        break;
    }
    return u"unknown"_s;
}

// Tabs and line ends would break the one-line-per-item output.
QString OneLine(QString text)
{
    for (QChar& c : text)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return text;
}

QString UtcText(qint64 time)
{
    return QDateTime::fromSecsSinceEpoch(time, Qt::UTC).toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

bool IsRoutineLine(const QString& line)
{
    return line.isEmpty() || line.startsWith(u"Updating elements: "_s) ||
           line.startsWith(u"Channel downloading done: "_s);
}

int RunParseCommand(const QStringList& args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.size() != 1) {
        err << "usage: calvoria-tool parse SOURCE   (an http/https URL or a file)\n";
        return 2;
    }
    const QString source = args.first();
    const QString scheme = QUrl(source).scheme().toLower();
    const bool live = scheme == u"http"_s || scheme == u"https"_s;

    // A world of its own: settings, data and log in a temporary folder, nothing of the
    // user's touched.
    QTemporaryDir dir;
    CToolServices services;
    if (!services.UseDataRoot(dir.filePath(u"data"_s), err))
        return 1;
    CAppServices& app = services.App();
    app.Prefs()->limitNewsPerChannel = false; // show everything the feed holds
    CToolLog log;
    if (live) {
        CHttpSession::GlobalInit();
        app.SetSession(CRefPtr<CHttpSession>::Make());
    }
    CFeedContext context(app);

    // The steps of a download, so the kind can be reported; a file is read as the stored
    // channel file is.
    RssResult result = kGenericFailure;
    RssFeedKind kind = RssFeedKind::Unknown;
    auto channel = CRssChannel::Create(&context);
    LogFormat("Start downloading channel: '%s'", qUtf8Printable(source));
    XmlLoadError error;
    if (XmlDocPtr doc = LoadFeedDocument(context, source, !live, error)) {
        result = MergeFeedDocument(*channel, doc.get(), source, !live, false, &kind);
    } else {
        LogFormat("*ERROR: Cannot load channel: '%s'", qUtf8Printable(source));
        LogFormat("%s", qUtf8Printable(error.message));
        result = LoadErrorCode(error);
    }

    QStringList lines = log.Lines();
    lines = lines.mid(lines.indexOf(u"Start downloading channel: '%1'"_s.arg(source)) + 1);
    for (const QString& line : lines)
        if (!IsRoutineLine(line))
            err << line << '\n';
    if (result != kResultOk) {
        err << "failed: " << QString::number(result, 16).rightJustified(8, u'0').toUpper() << '\n';
        return 1;
    }

    out << "kind\t" << int(kind) << ' ' << KindName(kind) << '\n';
    const RssChannelInfo info = channel->Info();
    out << "title\t" << OneLine(info.title) << '\n'
        << "link\t" << OneLine(info.link) << '\n'
        << "description\t" << OneLine(info.description) << '\n'
        << "pubDate\t" << info.pubDate << '\n'
        << "lastBuildDate\t" << info.lastBuildDate << '\n'
        << "ttl\t" << info.ttl << '\n'
        << "imageUrl\t" << info.imageUrl << '\n'
        << "imageTitle\t" << OneLine(info.imageTitle) << '\n'
        << "imageLink\t" << info.imageLink << '\n';
    for (const CRefPtr<CRssNode>& node : channel->ChildrenSnapshot()) {
        const CRefPtr<CRssItem> item = NodeCast<CRssItem>(node);
        out << IdentityHex(item->Identity()) << '\t' << UtcText(item->publicationTime) << '\t'
            << OneLine(item->title) << '\t' << OneLine(item->Link());
        if (!item->enclosure.url.isEmpty())
            out << '\t' << item->enclosure.url;
        out << '\n';
    }
    return 0;
}

const ToolCommandRegistration kCommand{{"parse", "SOURCE       read a feed (URL or file): its kind, channel info and items", RunParseCommand}};

} // namespace
