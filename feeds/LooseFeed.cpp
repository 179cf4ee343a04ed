#include "LooseFeed.h"

#include "CAppLog.h"
#include "FeedParser.h"
#include "HtmlEntities.h"

#include <QByteArrayView>
#include <libxml/tree.h>

namespace {

bool IsAsciiLetter(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

int HexDigit(unsigned char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Bytes past ASCII may begin a name in any ASCII-compatible encoding.
bool IsNameStart(unsigned char c)
{
    return IsAsciiLetter(c) || c == '_' || c == ':' || c >= 0x80;
}

bool IsNameChar(unsigned char c)
{
    return IsNameStart(c) || IsDigit(c) || c == '-' || c == '.';
}

bool IsXmlCodePoint(qint64 value)
{
    return value == 0x9 || value == 0xA || value == 0xD || (value >= 0x20 && value <= 0xD7FF) ||
           (value >= 0xE000 && value <= 0xFFFD) || (value >= 0x10000 && value <= 0x10FFFF);
}

bool IsPredefinedEntity(QByteArrayView name)
{
    return name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos";
}

QByteArray NumericReference(qint64 value)
{
    return "&#" + QByteArray::number(value) + ';';
}

// One pass over the document's bytes, copying them to out with the references repaired.
class CReferenceRepair
{
public:
    explicit CReferenceRepair(const QByteArray& bytes)
        : m_bytes(bytes), m_text(reinterpret_cast<const unsigned char*>(bytes.constData())),
          m_size(bytes.size())
    {
    }

    // False when the document is better left as it is.
    bool Run()
    {
        m_out.reserve(m_size + 64);
        while (m_at < m_size) {
            qsizetype next = m_at;
            while (next < m_size && m_text[next] != '<' && m_text[next] != '&')
                ++next;
            CopyTo(next);
            if (m_at == m_size)
                break;
            if (m_text[m_at] == '&') {
                Reference();
            } else if (!Markup()) {
                return false;
            }
        }
        return true;
    }

    QByteArray Result() { return std::move(m_out); }
    qsizetype Repaired() const { return m_repaired; }

private:
    void CopyTo(qsizetype end)
    {
        m_out.append(m_bytes.constData() + m_at, end - m_at);
        m_at = end;
    }

    void Replace(qsizetype end, const QByteArray& replacement)
    {
        m_out += replacement;
        m_at = end;
        ++m_repaired;
    }

    bool StartsWith(const char* text) const
    {
        return QByteArrayView(m_bytes).sliced(m_at).startsWith(QByteArrayView(text));
    }

    // Copies what is not text up to where it ends: sections whose content is not markup
    // and declarations whole, a tag's name. A "<" that starts none of them is text.
    bool Markup()
    {
        for (const auto& [open, close] :
             {std::pair{"<![CDATA[", "]]>"}, std::pair{"<!--", "-->"}, std::pair{"<?", "?>"}}) {
            if (StartsWith(open)) {
                const qsizetype end = m_bytes.indexOf(close, m_at + qstrlen(open));
                CopyTo(end < 0 ? m_size : end + qsizetype(qstrlen(close)));
                return true;
            }
        }
        if (StartsWith("<!")) {
            const qsizetype end = m_bytes.indexOf('>', m_at);
            const qsizetype stop = end < 0 ? m_size : end;
            for (qsizetype i = m_at; i < stop; ++i) {
                if (m_text[i] == '[')
                    return false; // an internal subset may declare entities of its own
            }
            CopyTo(end < 0 ? m_size : end + 1);
            return true;
        }
        const unsigned char next = m_at + 1 < m_size ? m_text[m_at + 1] : 0;
        if (next == '/' || IsNameStart(next))
            CopyTo(m_at + 1);
        else
            Replace(m_at + 1, "&lt;");
        return true;
    }

    void Reference()
    {
        const qsizetype start = m_at + 1;
        if (start < m_size && m_text[start] == '#') {
            NumberReference(start + 1);
            return;
        }
        qsizetype end = start;
        if (end < m_size && IsNameStart(m_text[end])) {
            while (end < m_size && IsNameChar(m_text[end]))
                ++end;
        }
        if (end > start && end < m_size && m_text[end] == ';') {
            const QByteArrayView name(m_bytes.constData() + start, end - start);
            if (IsPredefinedEntity(name)) {
                CopyTo(end + 1);
                return;
            }
            if (const char32_t character = HtmlEntityCodePoint(name)) {
                Replace(end + 1, NumericReference(character));
                return;
            }
        }
        Replace(start, "&amp;");
    }

    // "&#" is read; digits start at begin.
    void NumberReference(qsizetype begin)
    {
        const bool hex = begin < m_size && (m_text[begin] == 'x' || m_text[begin] == 'X');
        qsizetype end = hex ? begin + 1 : begin;
        const qsizetype digits = end;
        qint64 value = 0;
        constexpr qint64 kPastUnicode = 0x110000;
        while (end < m_size && (hex ? HexDigit(m_text[end]) >= 0 : IsDigit(m_text[end]))) {
            const int digit = hex ? HexDigit(m_text[end]) : m_text[end] - '0';
            value = qMin(value * (hex ? 16 : 10) + digit, kPastUnicode);
            ++end;
        }
        if (end == digits || end == m_size || m_text[end] != ';') {
            Replace(m_at + 1, "&amp;");
            return;
        }
        if (!IsXmlCodePoint(value))
            Replace(end + 1, NumericReference(0xFFFD));
        else if (hex && m_text[begin] == 'X')
            Replace(end + 1, NumericReference(value));
        else
            CopyTo(end + 1);
    }

    const QByteArray& m_bytes;
    const unsigned char* m_text;
    qsizetype m_size;
    qsizetype m_at = 0;
    qsizetype m_repaired = 0;
    QByteArray m_out;
};

// Whether an element holds the items, so that it stays when the document ends inside it.
bool HoldsItems(const xmlNode* node, const xmlNode* root, RssFeedKind kind)
{
    return node == root || (kind == RssFeedKind::Rss && node->parent == root &&
                            xmlStrEqual(node->name, BAD_CAST "channel"));
}

// A document that ends inside an item leaves it cut short: its texts would make it a new
// item at every download. The first element left open below those that hold the items goes,
// with all it holds.
void DropUnfinishedElement(xmlDoc* doc, const std::vector<xmlNode*>& unclosed)
{
    xmlNode* root = nullptr;
    const RssFeedKind kind = RecognizeFeed(doc, &root);
    for (xmlNode* node : unclosed) {
        if (HoldsItems(node, root, kind))
            continue;
        xmlUnlinkNode(node);
        xmlFreeNode(node);
        return;
    }
}

// Whether the document holds a feed: a channel title or link, or an item.
bool HoldsFeed(xmlDoc* doc)
{
    try {
        CFeedReader reader;
        RssChannelInfo info;
        if (!reader.IsValid() || reader.ReadChannelInfo(doc, info, 0) != kResultOk)
            return false;
        if (!info.title.isEmpty() || !info.link.isEmpty())
            return true;
        const std::optional<std::vector<xmlNode*>> items = reader.SelectItems();
        return items && !items->empty();
    } catch (const CXmlQueryError&) {
        return false;
    }
}

} // namespace

QByteArray RepairXmlReferences(const QByteArray& bytes, qsizetype& repaired)
{
    CReferenceRepair repair(bytes);
    if (!repair.Run() || repair.Repaired() == 0) {
        repaired = 0;
        return bytes;
    }
    repaired = repair.Repaired();
    return repair.Result();
}

XmlDocPtr ReadLooseFeed(const QByteArray& bytes, const QString& source,
                        const XmlLoadError& strictError, bool asciiMarkup)
{
    const QByteArray sourceText = source.toUtf8();
    const QByteArray reason = strictError.message.toUtf8();
    qsizetype repaired = 0;
    const QByteArray repairedBytes = asciiMarkup ? RepairXmlReferences(bytes, repaired) : bytes;
    if (repaired > 0) {
        XmlDocPtr doc = ParseXml(repairedBytes, source);
        if (doc && HoldsFeed(doc.get())) {
            LogFormat("Channel is not well-formed XML (line %d: %s), read with %lld references "
                      "repaired: '%s'",
                      strictError.line, reason.constData(), qlonglong(repaired),
                      sourceText.constData());
            return doc;
        }
    }
    XmlLoadError recovery;
    XmlDocPtr doc = ParseXml(repairedBytes, source, &recovery, XmlRecovery::KeepWhatIsWhole);
    // What the library stopped reading early is not the document.
    if (!doc || recovery.stopped)
        return nullptr;
    DropUnfinishedElement(doc.get(), recovery.unclosed);
    if (!HoldsFeed(doc.get()))
        return nullptr;
    LogFormat("Channel is not well-formed XML (line %d: %s), read what is whole: '%s'",
              strictError.line, reason.constData(), sourceText.constData());
    return doc;
}
