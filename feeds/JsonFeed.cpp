#include "JsonFeed.h"

#include "DateHelpers.h"

#include <QString>
#include <cstring>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <string>
#include <string_view>

using namespace Qt::Literals::StringLiterals;

namespace {

// A single pass over the JSON text that unescapes strings straight into UTF-8 for the
// document's text nodes. Values the feed reader does not want are skipped without
// recursion, however deep they nest; any syntax error ends the read.
class CJsonScanner
{
public:
    CJsonScanner(const char* begin, const char* end) : m_p(begin), m_end(end) {}

    bool Failed() const { return m_failed; }
    bool Fail()
    {
        m_failed = true;
        m_p = m_end;
        return false;
    }

    void SkipBlanks()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\n' || *m_p == '\r'))
            ++m_p;
    }
    bool AtEnd()
    {
        SkipBlanks();
        return m_p == m_end;
    }
    char Peek()
    {
        SkipBlanks();
        return m_p < m_end ? *m_p : '\0';
    }
    bool Take(char c)
    {
        if (Peek() != c)
            return false;
        ++m_p;
        return true;
    }

    // Calls member(key) for each member of an object; member must consume the value.
    template <class Member> bool Object(Member member)
    {
        if (!Take('{'))
            return Fail();
        if (Take('}'))
            return true;
        std::string key;
        do {
            if (!String(key) || !Take(':'))
                return Fail();
            member(std::string_view(key));
            if (m_failed)
                return false;
        } while (Take(','));
        return Take('}') || Fail();
    }

    // Calls element() for each element of an array; element must consume the value.
    template <class Element> bool Array(Element element)
    {
        if (!Take('['))
            return Fail();
        if (Take(']'))
            return true;
        do {
            element();
            if (m_failed)
                return false;
        } while (Take(','));
        return Take(']') || Fail();
    }

    // A string value into out; any other value is skipped and gives false.
    bool StringValue(std::string& out)
    {
        out.clear();
        if (Peek() == '"')
            return String(out);
        SkipValue();
        return false;
    }
    // An object or array member that must be an object (or array) to be read.
    bool Is(char open) { return Peek() == open; }

    // An integer value; anything else is skipped and gives fallback.
    qint64 IntegerValue(qint64 fallback)
    {
        const char* start = (SkipBlanks(), m_p);
        SkipValue();
        const std::string token(start, size_t(m_p - start));
        char* tokenEnd = nullptr;
        const long long value = std::strtoll(token.c_str(), &tokenEnd, 10);
        return tokenEnd && tokenEnd != token.c_str() && *tokenEnd == '\0' ? value : fallback;
    }

    void SkipValue()
    {
        long depth = 0;
        std::string ignored;
        do {
            const char c = Peek();
            if (c == '"') {
                if (!String(ignored))
                    return;
            } else if (c == '{' || c == '[') {
                ++depth;
                ++m_p;
                continue; // an empty container closes at once: no separator to read
            } else if (c == '}' || c == ']') {
                if (depth == 0) {
                    Fail();
                    return;
                }
                --depth;
                ++m_p;
            } else if (IsScalarChar(c)) {
                while (m_p < m_end && IsScalarChar(*m_p))
                    ++m_p;
            } else {
                Fail();
                return;
            }
            if (depth > 0) {
                // Inside a container: a member name's colon or a separator may follow.
                Take(':') || Take(',');
            }
        } while (depth > 0 && !m_failed);
    }

    bool String(std::string& out)
    {
        out.clear();
        if (!Take('"'))
            return Fail();
        for (;;) {
            const char* run = m_p;
            // Raw line breaks and other controls are taken as they come, as lenient
            // readers do; the item's texts turn them into blanks.
            while (m_p < m_end && *m_p != '"' && *m_p != '\\')
                ++m_p;
            out.append(run, size_t(m_p - run));
            if (m_p >= m_end)
                return Fail();
            if (*m_p++ == '"')
                return true;
            if (m_p >= m_end)
                return Fail();
            const char escape = *m_p++;
            switch (escape) {
            case '"':
            case '\\':
            case '/':
                out += escape;
                break;
            case 'b':
            case 'f':
            case 'n':
            case 'r':
            case 't':
                out += escape == 'n' ? '\n' : escape == 'r' ? '\r' : escape == 't' ? '\t' : ' ';
                break;
            case 'u':
                if (!Unicode(out))
                    return Fail();
                break;
            default:
                return Fail();
            }
        }
    }

private:
    static bool IsScalarChar(char c)
    {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || c == '-' || c == '+' ||
               c == '.' || c == 'E';
    }

    bool Hex4(char32_t& value)
    {
        if (m_end - m_p < 4)
            return false;
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = *m_p++;
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0)
                return false;
            value = value * 16 + char32_t(digit);
        }
        return true;
    }

    // A \u escape, with the low half of a surrogate pair when one follows; a lone half
    // becomes U+FFFD and U+0000 a blank, so no text is cut short.
    bool Unicode(std::string& out)
    {
        char32_t c = 0;
        if (!Hex4(c))
            return false;
        if (c >= 0xD800 && c < 0xDC00 && m_end - m_p >= 6 && m_p[0] == '\\' && m_p[1] == 'u') {
            const char* back = m_p;
            m_p += 2;
            char32_t low = 0;
            if (Hex4(low) && low >= 0xDC00 && low < 0xE000)
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            else
                m_p = back;
        }
        if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        if (c == 0)
            c = ' ';
        char bytes[4];
        int n = 0;
        if (c < 0x80) {
            bytes[n++] = char(c);
        } else if (c < 0x800) {
            bytes[n++] = char(0xC0 | (c >> 6));
            bytes[n++] = char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes[n++] = char(0xE0 | (c >> 12));
            bytes[n++] = char(0x80 | ((c >> 6) & 0x3F));
            bytes[n++] = char(0x80 | (c & 0x3F));
        } else {
            bytes[n++] = char(0xF0 | (c >> 18));
            bytes[n++] = char(0x80 | ((c >> 12) & 0x3F));
            bytes[n++] = char(0x80 | ((c >> 6) & 0x3F));
            bytes[n++] = char(0x80 | (c & 0x3F));
        }
        out.append(bytes, size_t(n));
        return true;
    }

    const char* m_p;
    const char* m_end;
    bool m_failed = false;
};

const xmlChar* X(const char* s)
{
    return reinterpret_cast<const xmlChar*>(s);
}

// An element holding the UTF-8 text; nothing when the text is empty.
void AddText(xmlDoc* doc, xmlNode* parent, const char* name, std::string_view text)
{
    if (text.empty())
        return;
    xmlNode* element = xmlNewDocNode(doc, nullptr, X(name), nullptr);
    xmlAddChild(parent, element);
    xmlAddChild(element, xmlNewDocTextLen(doc, X(text.data()), int(text.size())));
}

// JSON Feed dates are RFC 3339; the item reader takes RSS dates.
std::string RssDate(const std::string& rfc3339)
{
    qint64 time = 0;
    if (!rfc3339.empty() && ParseIso8601Date(QString::fromUtf8(rfc3339), time))
        return FormatGmtDate(time).toStdString();
    return {};
}

// The first non-empty "name" of an author object, or of a list of them.
void ReadAuthor(CJsonScanner& json, std::string& author)
{
    std::string name;
    const auto readOne = [&] {
        if (!json.Is('{')) {
            json.SkipValue();
            return;
        }
        json.Object([&](std::string_view key) {
            if (key == "name" && json.StringValue(name) && author.empty())
                author = name;
            else if (key != "name")
                json.SkipValue();
        });
    };
    if (json.Is('['))
        json.Array(readOne);
    else
        readOne();
}

struct Enclosure
{
    std::string url, type;
    qint64 length = 0;
};

// The first attachment with an audio type becomes the enclosure.
void ReadAttachments(CJsonScanner& json, Enclosure& enclosure)
{
    if (!json.Is('[')) {
        json.SkipValue();
        return;
    }
    json.Array([&] {
        if (!json.Is('{')) {
            json.SkipValue();
            return;
        }
        Enclosure attachment;
        json.Object([&](std::string_view key) {
            if (key == "url")
                json.StringValue(attachment.url);
            else if (key == "mime_type")
                json.StringValue(attachment.type);
            else if (key == "size_in_bytes")
                attachment.length = qMax<qint64>(0, json.IntegerValue(0));
            else
                json.SkipValue();
        });
        const bool audio = attachment.type.size() > 6 &&
                           QByteArray::fromRawData(attachment.type.data(), 6).toLower() == "audio/";
        if (enclosure.url.empty() && audio && !attachment.url.empty())
            enclosure = attachment;
    });
}

void ReadItem(CJsonScanner& json, xmlDoc* doc, xmlNode* channel)
{
    std::string title, url, externalUrl, html, text, summary, date, author, tag;
    Enclosure enclosure;
    json.Object([&](std::string_view key) {
        if (key == "title")
            json.StringValue(title);
        else if (key == "url")
            json.StringValue(url);
        else if (key == "external_url")
            json.StringValue(externalUrl);
        else if (key == "content_html")
            json.StringValue(html);
        else if (key == "content_text")
            json.StringValue(text);
        else if (key == "summary")
            json.StringValue(summary);
        else if (key == "date_published")
            json.StringValue(date);
        else if (key == "authors" || key == "author")
            ReadAuthor(json, author);
        else if (key == "tags" && json.Is('['))
            json.Array([&] {
                std::string value;
                if (json.StringValue(value) && tag.empty())
                    tag = value;
            });
        else if (key == "attachments")
            ReadAttachments(json, enclosure);
        else
            json.SkipValue();
    });
    if (json.Failed())
        return;
    xmlNode* item = xmlNewDocNode(doc, nullptr, X("item"), nullptr);
    xmlAddChild(channel, item);
    AddText(doc, item, "title", title);
    AddText(doc, item, "link", url.empty() ? externalUrl : url);
    AddText(doc, item, "description", !html.empty() ? html : !text.empty() ? text : summary);
    AddText(doc, item, "pubDate", RssDate(date));
    AddText(doc, item, "author", author);
    AddText(doc, item, "category", tag);
    if (!enclosure.url.empty()) {
        xmlNode* element = xmlNewDocNode(doc, nullptr, X("enclosure"), nullptr);
        xmlAddChild(item, element);
        xmlNewProp(element, X("url"), X(enclosure.url.c_str()));
        xmlNewProp(element, X("type"), X(enclosure.type.c_str()));
        xmlNewProp(element, X("length"), X(std::to_string(enclosure.length).c_str()));
    }
}

bool IsJsonFeedVersion(std::string_view version)
{
    return version.starts_with("https://jsonfeed.org/version/1") ||
           version.starts_with("http://jsonfeed.org/version/1");
}

} // namespace

bool LooksLikeJson(const QByteArray& body)
{
    qsizetype i = body.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < body.size() &&
           (body[i] == ' ' || body[i] == '\t' || body[i] == '\r' || body[i] == '\n'))
        ++i;
    return i < body.size() && body[i] == '{';
}

XmlDocPtr JsonFeedToRss(const QByteArray& body, XmlLoadError& error)
{
    const qsizetype start = body.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    CJsonScanner json(body.constData() + start, body.constData() + body.size());

    XmlDocPtr doc = NewXmlDocument();
    xmlNode* rss = xmlNewDocNode(doc.get(), nullptr, X("rss"), nullptr);
    xmlDocSetRootElement(doc.get(), rss);
    xmlNewProp(rss, X("version"), X("2.0"));
    xmlNode* channel = xmlNewDocNode(doc.get(), nullptr, X("channel"), nullptr);
    xmlAddChild(rss, channel);

    std::string version, title, homePage, description, icon;
    json.Object([&](std::string_view key) {
        if (key == "version")
            json.StringValue(version);
        else if (key == "title")
            json.StringValue(title);
        else if (key == "home_page_url")
            json.StringValue(homePage);
        else if (key == "description")
            json.StringValue(description);
        else if (key == "icon")
            json.StringValue(icon);
        else if (key == "items" && json.Is('['))
            json.Array([&] {
                if (json.Is('{'))
                    ReadItem(json, doc.get(), channel);
                else
                    json.SkipValue();
            });
        else
            json.SkipValue();
    });
    if (json.Failed() || !json.AtEnd()) {
        error = {XML_ERR_DOCUMENT_END, u"not a well-formed JSON document"_s};
        return nullptr;
    }
    if (!IsJsonFeedVersion(version)) {
        // Read as a document of no known kind.
        XmlDocPtr other = NewXmlDocument();
        xmlDocSetRootElement(other.get(), xmlNewDocNode(other.get(), nullptr, X("json"), nullptr));
        return other;
    }
    // The channel's texts go first, where an RSS document has them.
    xmlNode* first = channel->children;
    const auto addInfo = [&](const char* name, const std::string& text) {
        if (text.empty())
            return;
        xmlNode* element = xmlNewDocNode(doc.get(), nullptr, X(name), nullptr);
        xmlAddChild(element, xmlNewDocTextLen(doc.get(), X(text.data()), int(text.size())));
        if (first)
            xmlAddPrevSibling(first, element);
        else
            xmlAddChild(channel, element);
    };
    addInfo("title", title);
    addInfo("link", homePage);
    addInfo("description", description);
    if (!icon.empty() && !title.empty() && !homePage.empty()) {
        xmlNode* image = xmlNewDocNode(doc.get(), nullptr, X("image"), nullptr);
        AddText(doc.get(), image, "title", title);
        AddText(doc.get(), image, "link", homePage);
        AddText(doc.get(), image, "url", icon);
        if (first)
            xmlAddPrevSibling(first, image);
        else
            xmlAddChild(channel, image);
    }
    return doc;
}
