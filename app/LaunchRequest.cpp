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
        QString url;
        if (attributes.hasAttribute("href"_L1)) {
            if (!NormalizeFeedUrl(attributes.value("href"_L1).toString(), url))
                continue;
            if (rel == "self"_L1)
                return url;
            if ((rel.isEmpty() || rel == "alternate"_L1) && site.isEmpty())
                site = url;
        } else if (site.isEmpty() && NormalizeFeedUrl(xml.readElementText(), url)) {
            site = url;
        }
    }
    return site;
}

} // namespace

QString FeedAddressFromArgument(const QString& argument)
{
    QString url;
    if (NormalizeFeedUrl(argument, url))
        return url;
    const QString path = argument.startsWith("file:"_L1) ? QUrl(argument).toLocalFile() : argument;
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {};
    const QString address = AddressInFeedFile(path);
    return address.isEmpty() ? QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString()
                             : address;
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
        else if ((request.feedAddress = FeedAddressFromArgument(argument)).isEmpty())
            request.error = u"'%1' is neither a feed address nor a feed file"_s.arg(argument);
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
           "                 http or https address, or a feed file a browser saved\n"
           "  --hidden       start hidden in the tray\n"
           "  --refresh-all  update every channel\n"
           "  --version      print the version and end\n"
           "\n"
           "When Calvoria already runs, the running copy does what is asked.\n"_s;
}
