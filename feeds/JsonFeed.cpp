#include "JsonFeed.h"

#include "DateHelpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// Strings only: a number or an object where a text belongs counts as absent.
QString Text(const QJsonObject& object, QLatin1StringView key)
{
    return XmlSafeText(object.value(key).toString());
}

void AddText(xmlDoc* doc, xmlNode* parent, const char* name, const QString& text)
{
    if (!text.isEmpty())
        AppendTextElement(doc, parent, name, text);
}

bool IsJsonFeedVersion(const QString& version)
{
    return version.startsWith("https://jsonfeed.org/version/1"_L1) ||
           version.startsWith("http://jsonfeed.org/version/1"_L1);
}

// Version 1.1 has a list of authors, version 1 one author.
QString AuthorName(const QJsonObject& object)
{
    const QJsonArray authors = object.value("authors"_L1).toArray();
    for (const QJsonValue& author : authors) {
        const QString name = Text(author.toObject(), "name"_L1);
        if (!name.isEmpty())
            return name;
    }
    return Text(object.value("author"_L1).toObject(), "name"_L1);
}

// JSON Feed dates are RFC 3339; the item reader takes RSS dates.
QString RssDate(const QString& rfc3339)
{
    qint64 time = 0;
    try {
        if (!rfc3339.isEmpty() && ParseIso8601Date(rfc3339, time))
            return FormatGmtDate(time);
    } catch (const CDateRangeError&) {
    }
    return {};
}

void AddEnclosure(xmlDoc* doc, xmlNode* item, const QJsonArray& attachments)
{
    for (const QJsonValue& value : attachments) {
        const QJsonObject attachment = value.toObject();
        const QString type = Text(attachment, "mime_type"_L1);
        const QString url = Text(attachment, "url"_L1);
        if (url.isEmpty() || !type.startsWith("audio/"_L1, Qt::CaseInsensitive))
            continue;
        xmlNode* enclosure = AppendElement(doc, item, "enclosure");
        SetAttribute(enclosure, "url", url);
        SetAttribute(enclosure, "type", type);
        const qint64 size = attachment.value("size_in_bytes"_L1).toInteger(0);
        SetAttribute(enclosure, "length", QString::number(qMax<qint64>(size, 0)));
        return;
    }
}

void AddItem(xmlDoc* doc, xmlNode* channel, const QJsonObject& object)
{
    xmlNode* item = AppendElement(doc, channel, "item");
    AddText(doc, item, "title", Text(object, "title"_L1));
    QString link = Text(object, "url"_L1);
    if (link.isEmpty())
        link = Text(object, "external_url"_L1);
    AddText(doc, item, "link", link);
    QString description = Text(object, "content_html"_L1);
    if (description.isEmpty())
        description = Text(object, "content_text"_L1);
    if (description.isEmpty())
        description = Text(object, "summary"_L1);
    AddText(doc, item, "description", description);
    AddText(doc, item, "pubDate", RssDate(Text(object, "date_published"_L1)));
    AddText(doc, item, "author", AuthorName(object));
    const QJsonArray tags = object.value("tags"_L1).toArray();
    if (!tags.isEmpty())
        AddText(doc, item, "category", XmlSafeText(tags.first().toString()));
    AddEnclosure(doc, item, object.value("attachments"_L1).toArray());
}

} // namespace

bool LooksLikeJson(const QByteArray& body)
{
    qsizetype i = body.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < body.size() && (body[i] == ' ' || body[i] == '\t' || body[i] == '\r' || body[i] == '\n'))
        ++i;
    return i < body.size() && body[i] == '{';
}

XmlDocPtr JsonFeedToRss(const QByteArray& body, XmlLoadError& error)
{
    const QByteArray json = body.startsWith("\xEF\xBB\xBF") ? body.mid(3) : body;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        error = {XML_ERR_DOCUMENT_EMPTY, u"not a JSON document: "_s + parseError.errorString()};
        return nullptr;
    }
    const QJsonObject feed = document.object();
    XmlDocPtr doc = NewXmlDocument();
    if (!IsJsonFeedVersion(feed.value("version"_L1).toString())) {
        xmlDocSetRootElement(doc.get(), AppendElement(doc.get(), nullptr, "json"));
        return doc;
    }
    xmlNode* rss = AppendElement(doc.get(), nullptr, "rss");
    xmlDocSetRootElement(doc.get(), rss);
    SetAttribute(rss, "version", u"2.0"_s);
    xmlNode* channel = AppendElement(doc.get(), rss, "channel");
    const QString title = Text(feed, "title"_L1);
    const QString homePage = Text(feed, "home_page_url"_L1);
    AddText(doc.get(), channel, "title", title);
    AddText(doc.get(), channel, "link", homePage);
    AddText(doc.get(), channel, "description", Text(feed, "description"_L1));
    const QString icon = Text(feed, "icon"_L1);
    if (!icon.isEmpty() && !title.isEmpty() && !homePage.isEmpty()) {
        xmlNode* image = AppendElement(doc.get(), channel, "image");
        AddText(doc.get(), image, "title", title);
        AddText(doc.get(), image, "link", homePage);
        AddText(doc.get(), image, "url", icon);
    }
    for (const QJsonValue& item : feed.value("items"_L1).toArray()) {
        if (item.isObject())
            AddItem(doc.get(), channel, item.toObject());
    }
    return doc;
}
