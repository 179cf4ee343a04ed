#include "ToolCommands.h"

#include "ToolSupport.h"
#include "CAppServices.h"
#include "CFeedContext.h"
#include "CHttpSession.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedFetcher.h"
#include "FeedMerge.h"
#include "FeedParser.h"
#include "TextHelpers.h"
#include "XmlHelpers.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUrl>
#include <algorithm>
#include <libxml/xmlerror.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// What goes to the terminal holds no control characters but tab and line ends: a feed could
// use them to drive the terminal.
QString WithoutControls(const QString& text)
{
    const auto control = [](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || (u >= 0x7F && u <= 0x9F);
    };
    if (std::none_of(text.begin(), text.end(), control))
        return text;
    QString out = text;
    out.removeIf(control);
    return out;
}

// A text as a field of the tab-separated output.
QString Printable(const QString& text)
{
    return TsvField(WithoutControls(text));
}

// The reason a document could not be loaded, in words.
QString LoadFailureText(const XmlLoadError& error)
{
    const QString message = error.message.simplified();
    switch (error.code) {
    case XML_ERR_UNSUPPORTED_ENCODING: {
        static const QString prefix = u"Unsupported encoding "_s;
        const QString name =
            message.startsWith(prefix) ? message.mid(prefix.size()).trimmed() : QString();
        return name.isEmpty() ? u"unknown character set"_s
                              : u"unknown character set '%1'"_s.arg(name);
    }
    case XML_ERR_INVALID_CHAR:
    case XML_ERR_INVALID_ENCODING:
    case XML_I18N_CONV_FAILED: {
        static const QRegularExpression bytes(u"bytes:? ((0x[0-9A-F]{2} ?)+)"_s,
                                              QRegularExpression::CaseInsensitiveOption);
        QStringList where;
        if (const QRegularExpressionMatch found = bytes.match(message); found.hasMatch())
            where << u"bytes "_s + found.captured(1).trimmed();
        if (error.line > 0)
            where << u"line %1"_s.arg(error.line);
        const QString detail = where.isEmpty() ? QString() : u" ("_s + where.join(u", "_s) + u')';
        if (message.contains(u"UTF-8"_s))
            return u"the text is not valid UTF-8"_s + detail;
        if (error.code != XML_ERR_INVALID_CHAR)
            return u"the text does not fit its character set"_s + detail;
        return u"a character XML does not allow"_s + detail;
    }
    case 0:
    case XML_ERR_USER_STOP: // refused before it was read whole
        return message.isEmpty() ? u"cannot be read"_s : message;
    default:
        return (error.line > 0 ? u"not well-formed XML at line %1: "_s.arg(error.line)
                               : u"not well-formed XML: "_s) +
               message;
    }
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
    QString format;
    QString failure;
    auto channel = CRssChannel::Create(&context);
    LogFormat("Start downloading channel: '%s'", qUtf8Printable(source));
    XmlLoadError error;
    FeedSyntax syntax = FeedSyntax::Xml;
    const FeedOrigin origin = live ? FeedOrigin::Live : FeedOrigin::Stored;
    if (XmlDocPtr doc = LoadFeedDocument(context, source, origin, error, &syntax)) {
        result = MergeFeedDocument(*channel, doc.get(), source, origin, ChannelNotice::None, &kind);
        xmlNode* root = nullptr;
        RecognizeFeed(doc.get(), &root);
        format = syntax == FeedSyntax::JsonFeed ? u"JSON Feed"_s : FeedFormatName(kind, root);
        if (result == kNotImplemented)
            failure = syntax == FeedSyntax::JsonFeed
                          ? u"JSON, but not a JSON Feed"_s
                          : u"not a feed: no rss, rdf:RDF or feed element at its root"_s;
        else if (result != kResultOk)
            failure = u"the feed could not be read"_s;
    } else {
        LogFormat("*ERROR: Cannot load channel: '%s'", qUtf8Printable(source));
        LogFormat("%s", qUtf8Printable(error.message));
        result = LoadErrorCode(error);
        failure = LoadFailureText(error);
    }

    QStringList lines = log.Lines();
    lines = lines.mid(lines.indexOf(u"Start downloading channel: '%1'"_s.arg(source)) + 1);
    for (const QString& line : lines)
        if (!IsRoutineLine(line))
            err << WithoutControls(line) << '\n';
    if (result != kResultOk) {
        err << "failed: " << WithoutControls(failure) << '\n';
        return 1;
    }

    out << "kind\t" << int(kind) << ' ' << format << '\n';
    const RssChannelInfo info = channel->Info();
    out << "title\t" << Printable(info.title) << '\n'
        << "link\t" << Printable(info.link) << '\n'
        << "description\t" << Printable(info.description) << '\n'
        << "pubDate\t" << Printable(info.pubDate) << '\n'
        << "lastBuildDate\t" << Printable(info.lastBuildDate) << '\n'
        << "ttl\t" << info.ttl << '\n'
        << "imageUrl\t" << Printable(info.imageUrl) << '\n'
        << "imageTitle\t" << Printable(info.imageTitle) << '\n'
        << "imageLink\t" << Printable(info.imageLink) << '\n';
    for (const CRefPtr<CRssNode>& node : channel->ChildrenSnapshot()) {
        const CRefPtr<CRssItem> item = NodeCast<CRssItem>(node);
        out << IdentityHex(item->Identity()) << '\t' << UtcText(item->publicationTime) << '\t'
            << Printable(ShownFeedText(item->title)) << '\t' << Printable(item->Link());
        if (!item->Enclosure().url.isEmpty())
            out << '\t' << Printable(item->Enclosure().url);
        out << '\n';
    }
    return 0;
}

const ToolCommandRegistration kCommand{{"parse", "SOURCE       read a feed (URL or file): its kind, channel info and items", RunParseCommand}};

} // namespace
