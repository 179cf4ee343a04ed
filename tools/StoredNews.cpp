#include "StoredNews.h"

#include "CFeedContext.h"
#include "DateHelpers.h"
#include "StoredFile.h"
#include "XmlHelpers.h"

#include <QFileInfo>
#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace {

// Where markup starting with "<" + rest first occurs in text at or after from, or -1. The
// program's files escape every '<' in text, so hopping from '<' to '<' is the fast way.
qsizetype FindMarkup(QByteArrayView text, QByteArrayView rest, qsizetype from = 0)
{
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    for (const char* at = begin + qMin(from, text.size()); at < end; ++at) {
        at = static_cast<const char*>(::memchr(at, '<', size_t(end - at)));
        if (!at)
            return -1;
        if (end - at - 1 >= rest.size() && ::memcmp(at + 1, rest.data(), size_t(rest.size())) == 0)
            return at - begin;
    }
    return -1;
}

// Reads the file when it is one the scan can read exactly; a missing file is an empty one.
bool ReadPlainFile(const QString& path, QByteArray& bytes)
{
    const StoredRead read = ReadStoredFile(path, kMaxStoredFileBytes, bytes);
    if (read == StoredRead::Missing) {
        bytes.clear();
        return true;
    }
    const QByteArrayView text(bytes);
    // No CDATA section, document type or comment: the writer makes none of them.
    return read == StoredRead::Ok && text.trimmed().endsWith("</rss>") &&
           FindMarkup(text, "!") < 0;
}

// The text of XML character data: the five entities and character references. False on
// anything else.
bool Decode(QByteArrayView raw, QString& text)
{
    qsizetype amp = raw.indexOf('&');
    if (amp < 0) {
        text = QString::fromUtf8(raw);
        return true;
    }
    QByteArray out;
    out.reserve(raw.size());
    qsizetype from = 0;
    for (; amp >= 0; amp = raw.indexOf('&', from)) {
        out.append(raw.sliced(from, amp - from));
        const qsizetype end = raw.indexOf(';', amp);
        if (end < 0)
            return false;
        const QByteArrayView name = raw.sliced(amp + 1, end - amp - 1);
        if (name == "lt")
            out += '<';
        else if (name == "gt")
            out += '>';
        else if (name == "amp")
            out += '&';
        else if (name == "quot")
            out += '"';
        else if (name == "apos")
            out += '\'';
        else if (name.startsWith('#')) {
            bool ok = false;
            const uint code = name.startsWith("#x") ? name.sliced(2).toUInt(&ok, 16)
                                                    : name.sliced(1).toUInt(&ok, 10);
            if (!ok || code > 0x10FFFF)
                return false;
            const char32_t c = char32_t(code);
            out += QString::fromUcs4(&c, 1).toUtf8();
        } else {
            return false;
        }
        from = end + 1;
    }
    out.append(raw.sliced(from));
    text = QString::fromUtf8(out);
    return true;
}

// One attribute of a start tag as our writer puts it: name="value".
QByteArrayView TagAttribute(QByteArrayView tag, const char* name, bool& present)
{
    const QByteArray key = QByteArray(" ") + name + "=\"";
    const qsizetype at = tag.indexOf(key);
    present = at >= 0;
    if (!present)
        return {};
    const qsizetype start = at + key.size();
    const qsizetype end = tag.indexOf('"', start);
    return end < 0 ? QByteArrayView() : tag.sliced(start, end - start);
}

struct ItemTag {
    qsizetype bodyStart = 0; // after the start tag
    bool unread = true, deleted = false;
    int status = 0;
};

// Calls visit(tag) for every item start tag; false when the file breaks the scan's rules.
template <class Visit>
bool ForEachItem(QByteArrayView text, Visit visit)
{
    qsizetype at = 0;
    while ((at = FindMarkup(text, "item", at)) >= 0) {
        at += 5;
        if (at >= text.size() || (text[at] != ' ' && text[at] != '>'))
            continue;
        const qsizetype end = text.indexOf('>', at);
        if (end < 0)
            return false;
        const QByteArrayView tag = text.sliced(at, end - at);
        ItemTag item;
        item.bodyStart = end + 1;
        bool present = false;
        const QByteArrayView isNew = TagAttribute(tag, "new", present);
        item.unread = !present || isNew == "1";
        item.deleted = TagAttribute(tag, "deleted", present) == "1" && present;
        const QByteArrayView status = TagAttribute(tag, "status", present);
        if (present)
            item.status = status.toInt();
        if (!visit(item))
            return false;
        at = end;
    }
    return true;
}

// The item's child elements from bodyStart to "</item>": title, link, description, pubDate.
bool ReadFields(QByteArrayView text, qsizetype at, CRssItem& item)
{
    for (;;) {
        at = text.indexOf('<', at);
        if (at < 0 || at + 1 >= text.size())
            return false;
        if (text.sliced(at).startsWith("</item>"))
            return true;
        qsizetype nameEnd = at + 1;
        while (nameEnd < text.size() && text[nameEnd] != ' ' && text[nameEnd] != '>' &&
               text[nameEnd] != '/')
            ++nameEnd;
        const QByteArrayView name = text.sliced(at + 1, nameEnd - at - 1);
        const qsizetype tagEnd = text.indexOf('>', nameEnd);
        if (tagEnd < 0 || name.isEmpty() || name.startsWith('/'))
            return false;
        QByteArrayView raw;
        at = tagEnd + 1;
        if (text[tagEnd - 1] != '/') { // text up to the end tag: no '<' stands in text
            const qsizetype close = text.indexOf('<', at);
            if (close < 0 || !text.sliced(close).startsWith("</" + name.toByteArray() + '>'))
                return false;
            raw = text.sliced(at, close - at);
            at = close + name.size() + 3;
        }
        QString value;
        if (!Decode(raw, value))
            return false;
        if (name == "title")
            item.title = value.trimmed();
        else if (name == "link")
            item.SetLink(value.trimmed());
        else if (name == "description" || name == "content")
            item.SetDescription(value.trimmed());
        else if (name == "pubDate" || name == "created")
            item.SetPubDate(value.trimmed());
    }
}

} // namespace

bool CountStoredNews(const QString& path, StoredCounts& counts)
{
    QByteArray bytes;
    if (!ReadPlainFile(path, bytes))
        return false;
    counts = {};
    return ForEachItem(QByteArrayView(bytes), [&](const ItemTag& tag) {
        if (!tag.deleted) {
            ++counts.total;
            counts.unread += tag.unread;
        }
        return true;
    });
}

bool ReadStoredNews(const QString& path, CFeedContext& context, CRssNode& channel,
                    bool unreadOnly, std::vector<CRefPtr<CRssItem>>& items)
{
    QByteArray bytes;
    if (!ReadPlainFile(path, bytes))
        return false;
    const QByteArrayView text(bytes);
    const qint64 now = context.Now();
    return ForEachItem(text, [&](const ItemTag& tag) {
        if (tag.deleted || (unreadOnly && !tag.unread))
            return true;
        CRefPtr<CRssItem> item = CRssItem::Create(&context);
        if (!ReadFields(text, tag.bodyStart, *item))
            return false;
        if (item->title.isEmpty() && !item->HasDescription())
            return true; // the loader leaves it out too
        item->unread = tag.unread;
        qint64 time = 0;
        if (!ParseRfc822Date(item->PubDate(), time) || time > now)
            time = now;
        item->publicationTime = time;
        item->SetParent(&channel);
        if (tag.status >= 1 && tag.status <= 6)
            item->SetState(RssItemState(tag.status));
        items.push_back(std::move(item));
        return true;
    });
}

void CompleteStoredItem(CRssItem& item)
{
    item.UpdateIdentity();
    // As the loader finds it: a ready item whose MP3 file is gone has lost its voice.
    if (item.State() == RssItemState::Ready && !QFileInfo(item.Mp3File()).isFile())
        item.SetState(RssItemState::FileMissing);
}
