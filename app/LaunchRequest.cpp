#include "LaunchRequest.h"

#include "StoredFile.h"
#include "TextHelpers.h"

#include <QFileInfo>
#include <QUrl>
#include <QXmlStreamReader>

using namespace Qt::Literals::StringLiterals;

namespace {

// A saved feed is read this far for its self link, which sits before the items.
constexpr qint64 kFeedFileBytes = 4 * 1024 * 1024;

// The address a saved feed gives for itself (Atom's and RSS's atom:link rel="self"), else
// that of its site (RSS's link, Atom's alternate link), where the New Channel dialog finds
// the feed again; empty when it gives neither.
QString AddressInFeedFile(const QString& file)
{
    QByteArray bytes;
    if (ReadStoredFile(file, kFeedFileBytes, bytes) != StoredRead::Ok)
        return {};
    QXmlStreamReader xml(bytes);
    QString site;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        if (name == "item"_L1 || name == "entry"_L1)
            break;
        if (name != "link"_L1)
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        const QStringView rel = attributes.value("rel"_L1);
        if (attributes.hasAttribute("href"_L1)) {
            const QString url = HandedFeedAddress(attributes.value("href"_L1).toString());
            if (url.isEmpty())
                continue;
            if (rel == "self"_L1)
                return url;
            if ((rel.isEmpty() || rel == "alternate"_L1) && site.isEmpty())
                site = url;
        } else if (site.isEmpty()) {
            site = HandedFeedAddress(xml.readElementText());
        }
    }
    return site;
}

} // namespace

QString HandedFeedAddress(const QString& text)
{
    // A control character ends the address as a blank does: what follows a NUL must not
    // make a second spelling of a feed already subscribed to.
    QString word = text.trimmed();
    for (qsizetype i = 0; i < word.size(); ++i) {
        const QChar::Category category = word[i].category();
        if (word[i].isSpace() || category == QChar::Other_Control ||
            category == QChar::Other_Format) {
            word.truncate(i);
            break;
        }
    }
    QString url;
    if (!NormalizeFeedUrl(word, url))
        return {};
    const QUrl parsed(url, QUrl::TolerantMode);
    if (!parsed.isValid() || parsed.host().isEmpty())
        return {};
    return url;
}

QString FeedAddressFromArgument(const QString& argument, QString* refusal)
{
    const QString url = HandedFeedAddress(argument);
    if (!url.isEmpty())
        return url;
    const QString path = argument.startsWith("file:"_L1) ? QUrl(argument).toLocalFile() : argument;
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        if (refusal)
            *refusal = u"'%1' is neither a feed address nor a feed file"_s.arg(argument);
        return {};
    }
    // A saved copy never changes: a channel needs an address to refresh from.
    const QString address = AddressInFeedFile(path);
    if (address.isEmpty() && refusal)
        *refusal = u"'%1' names no address of its own to subscribe to. Open the feed's link "
                   "(feed:, http or https) instead of a saved copy."_s.arg(argument);
    return address;
}

LaunchRequest ParseLaunchArguments(const QStringList& arguments)
{
    LaunchRequest request;
    for (const QString& argument : arguments) {
        if (argument == "--hidden"_L1)
            request.hidden = true;
        else if (argument == "--refresh-all"_L1)
            request.refreshAll = true;
        else if (argument.startsWith(u'-'))
            continue; // the web engine's own switches (--disable-gpu...): it reads them itself
        else if (!request.feedAddress.isEmpty())
            request.error = u"give at most one feed"_s;
        else
            request.feedAddress = FeedAddressFromArgument(argument, &request.error);
        if (!request.error.isEmpty())
            break;
    }
    return request;
}

QString LaunchUsage()
{
    return u"usage: calvoria [--hidden] [--refresh-all] [FEED]\n"
           "\n"
           "  FEED           subscribe to a feed through the New Channel dialog: a feed:,\n"
           "                 http or https address, or a feed file a browser saved that\n"
           "                 names its own address\n"
           "  --hidden       start hidden in the tray\n"
           "  --refresh-all  update every channel\n"
           "  --version      print the version and end\n"
           "\n"
           "When Calvoria already runs, the running copy does what is asked.\n"_s;
}
