#include "XmlHelpers.h"

#include "StoredFile.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>

namespace {

const xmlChar* X(const char* s)
{
    return reinterpret_cast<const xmlChar*>(s);
}

constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

// A document this large may hold a text past the library's limit of XML_MAX_TEXT_LENGTH
// bytes per node (a text may take three times its bytes once decoded to UTF-8).
constexpr qsizetype kLargeDocumentBytes = XML_MAX_TEXT_LENGTH / 4;
// The library's own nesting limit, which XML_PARSE_HUGE would lift.
constexpr int kMaxElementDepth = 256;

// Errors are read from the parser context, never printed.
void IgnoreError(void*, xmlErrorPtr) {}

// A large document is read with the library's size limits lifted (XML_PARSE_HUGE), which
// also lifts its nesting limit and its check against entity expansion. This puts them
// back: elements nest no deeper than without it, and a document that declares entities is
// not read at all.
struct LargeDocumentGuard
{
    startElementNsSAX2Func startElement = nullptr;
    QString stopReason;

    static void Stop(xmlParserCtxtPtr ctxt, const QString& reason)
    {
        auto* guard = static_cast<LargeDocumentGuard*>(ctxt->_private);
        if (guard->stopReason.isEmpty())
            guard->stopReason = reason;
        xmlStopParser(ctxt);
    }

    static void StartElement(void* ctx, const xmlChar* localName, const xmlChar* prefix,
                             const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                             int attributeCount, int defaultedCount, const xmlChar** attributes)
    {
        auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
        if (ctxt->nameNr > kMaxElementDepth) {
            Stop(ctxt, QStringLiteral("elements nested deeper than %1").arg(kMaxElementDepth));
            return;
        }
        static_cast<LargeDocumentGuard*>(ctxt->_private)
            ->startElement(ctx, localName, prefix, uri, namespaceCount, namespaces, attributeCount,
                           defaultedCount, attributes);
    }

    static void EntityDeclaration(void* ctx, const xmlChar*, int, const xmlChar*, const xmlChar*,
                                  xmlChar*)
    {
        Stop(static_cast<xmlParserCtxtPtr>(ctx),
             QStringLiteral("entity declarations in a document over %1 MB")
                 .arg(kLargeDocumentBytes / 1000000.0, 0, 'f', 1));
    }
};

struct ParseOutcome
{
    XmlDocPtr doc;
    bool whole = false;   // read to its end without an error
    bool guarded = false; // stopped by LargeDocumentGuard
    XmlLoadError error;   // when not whole
};

ParseOutcome ParseOnce(const QByteArray& bytes, const QByteArray& url, int options, bool large)
{
    ParseOutcome outcome;
    xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
    if (!ctxt) {
        outcome.error = {0, QStringLiteral("out of memory")};
        return outcome;
    }
    ctxt->sax->serror = &IgnoreError;
    LargeDocumentGuard guard;
    if (large) {
        guard.startElement = ctxt->sax->startElementNs;
        ctxt->sax->startElementNs = &LargeDocumentGuard::StartElement;
        ctxt->sax->entityDecl = &LargeDocumentGuard::EntityDeclaration;
        ctxt->_private = &guard;
        options |= XML_PARSE_HUGE;
    }
    outcome.doc.reset(xmlCtxtReadMemory(ctxt, bytes.constData(), int(bytes.size()),
                                        url.isEmpty() ? nullptr : url.constData(), nullptr,
                                        options));
    // A parse the library stopped early (a limit reached, memory short) may still call the
    // document well formed: what was read of it is not the document.
    outcome.whole = outcome.doc && ctxt->wellFormed && !ctxt->disableSAX;
    if (!outcome.whole) {
        outcome.guarded = !guard.stopReason.isEmpty();
        // Recovering, the library only stops for a limit or for want of memory.
        outcome.error.stopped = (options & XML_PARSE_RECOVER) && ctxt->disableSAX;
        // The elements still open when the parse ended, which the document never closed.
        if (outcome.doc && (options & XML_PARSE_RECOVER))
            outcome.error.unclosed.assign(ctxt->nodeTab, ctxt->nodeTab + ctxt->nodeNr);
        const xmlError* e = xmlCtxtGetLastError(ctxt);
        if (outcome.guarded) {
            outcome.error.code = XML_ERR_USER_STOP;
            outcome.error.message = guard.stopReason;
        } else {
            outcome.error.code = e && e->code ? e->code : XML_ERR_INTERNAL_ERROR;
            outcome.error.message = e && e->message ? QString::fromUtf8(e->message).trimmed()
                                                    : QStringLiteral("not a well-formed document");
            outcome.error.line = e ? e->line : 0;
        }
    }
    xmlFreeParserCtxt(ctxt);
    return outcome;
}

void CollectText(const xmlNode* node, QByteArray& out)
{
    VisitDescendants(node, [&out](const xmlNode* child) {
        if ((child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) &&
            child->content)
            out += reinterpret_cast<const char*>(child->content);
        return false;
    });
}

// Whether text[i] may stand in an XML 1.0 document; a surrogate only as half of a pair.
bool IsXmlChar(const QString& text, qsizetype i)
{
    const char16_t c = text[i].unicode();
    if (QChar::isHighSurrogate(c))
        return i + 1 < text.size() && text[i + 1].isLowSurrogate();
    if (QChar::isLowSurrogate(c))
        return i > 0 && text[i - 1].isHighSurrogate();
    return c >= 0x20 ? c < 0xFFFE : c == u'\t' || c == u'\n' || c == u'\r';
}

} // namespace

namespace XmlNodeWalk {
bool IsElement(const xmlNode* node)
{
    return node->type == XML_ELEMENT_NODE;
}
const xmlNode* FirstChild(const xmlNode* node)
{
    return node->children;
}
const xmlNode* Next(const xmlNode* node)
{
    return node->next;
}
const xmlNode* Parent(const xmlNode* node)
{
    return node->parent;
}
} // namespace XmlNodeWalk

QString XmlSafeText(const QString& text)
{
    qsizetype first = 0;
    while (first < text.size() && IsXmlChar(text, first))
        ++first;
    if (first == text.size())
        return text; // the common case: shared, not copied
    QString out;
    out.reserve(text.size());
    out += QStringView(text).left(first);
    for (qsizetype i = first; i < text.size(); ++i) {
        if (IsXmlChar(text, i))
            out += text[i];
    }
    return out;
}

void XmlDocDeleter::operator()(xmlDoc* doc) const
{
    xmlFreeDoc(doc);
}

XmlDocPtr ParseXml(const QByteArray& bytes, const QString& baseUrl, XmlLoadError* error,
                   XmlRecovery recovery, XmlOrigin origin)
{
    const qint64 maxBytes =
        origin == XmlOrigin::StoredFile ? kMaxStoredFileBytes : kMaxXmlDocumentBytes;
    if (bytes.size() > maxBytes) {
        if (error)
            *error = {0,
                      QStringLiteral("document larger than %1 MB").arg(maxBytes / (1024 * 1024))};
        return nullptr;
    }
    const bool recover = recovery == XmlRecovery::KeepWhatIsWhole;
    const int options = kParseOptions | (recover ? XML_PARSE_RECOVER : 0);
    const QByteArray url = baseUrl.toUtf8();
    // First with every limit of the library; a large document that does not read whole
    // that way is read again without its size limits, so a long text never cuts it short.
    ParseOutcome outcome = ParseOnce(bytes, url, options, false);
    if (!outcome.whole && bytes.size() > kLargeDocumentBytes) {
        ParseOutcome large = ParseOnce(bytes, url, options, true);
        // Recovering, what the guards stopped early is worth less than the first reading.
        if (large.whole || !recover || (large.doc && !large.guarded))
            outcome = std::move(large);
    }
    if (!outcome.whole && !recover)
        outcome.doc.reset();
    if (!outcome.whole && error)
        *error = std::move(outcome.error);
    return std::move(outcome.doc);
}

XmlDocPtr ParseXmlFile(const QString& path, XmlLoadError* error, XmlRecovery recovery)
{
    QByteArray bytes;
    QString reason;
    const StoredRead read = ReadStoredFile(path, kMaxStoredFileBytes, bytes, &reason);
    if (read != StoredRead::Ok) {
        if (error)
            *error = {0, reason, read == StoredRead::Missing, read == StoredRead::Refused};
        return nullptr;
    }
    return ParseXml(bytes, path, error, recovery, XmlOrigin::StoredFile);
}

XmlDocPtr NewXmlDocument()
{
    return XmlDocPtr(xmlNewDoc(X("1.0")));
}

QByteArray SerializeXml(xmlDoc* doc)
{
    xmlChar* mem = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(doc, &mem, &size, "UTF-8");
    QByteArray bytes(reinterpret_cast<const char*>(mem), size);
    xmlFree(mem);
    return bytes;
}

xmlNode* AppendElement(xmlDoc* doc, xmlNode* parent, const char* name)
{
    xmlNode* element = xmlNewDocNode(doc, nullptr, X(name), nullptr);
    if (parent)
        xmlAddChild(parent, element);
    return element;
}

xmlNode* AppendTextElement(xmlDoc* doc, xmlNode* parent, const char* name, const QString& text)
{
    xmlNode* element = AppendElement(doc, parent, name);
    if (!text.isEmpty()) {
        const QByteArray utf8 = text.toUtf8();
        xmlAddChild(element, xmlNewDocTextLen(doc, X(utf8.constData()), int(utf8.size())));
    }
    return element;
}

void AppendLayout(xmlDoc* doc, xmlNode* parent, int indent)
{
    QByteArray text("\r\n");
    text.append(indent, ' ');
    xmlNode* layout = xmlNewDocTextLen(doc, X(text.constData()), int(text.size()));
    // Written as it is: the line ends of the layout are real CR LF, not "&#13;".
    layout->name = xmlStringTextNoenc;
    xmlAddChild(parent, layout);
}

void SetAttribute(xmlNode* element, const char* name, const QString& value)
{
    xmlSetProp(element, X(name), X(value.toUtf8().constData()));
}

QString Attribute(const xmlNode* element, const char* name, bool* present)
{
    xmlAttr* attr = xmlHasProp(element, X(name));
    if (present)
        *present = attr != nullptr;
    if (!attr)
        return {};
    QByteArray value;
    CollectText(reinterpret_cast<const xmlNode*>(attr), value);
    return QString::fromUtf8(value);
}

QString NodeText(const xmlNode* node)
{
    if (!node)
        return {};
    if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE)
        return FromXmlChars(node->content);
    QByteArray text;
    CollectText(node, text);
    return QString::fromUtf8(text);
}

QString NodeName(const xmlNode* node)
{
    if (!node || !node->name)
        return {};
    const QString local = FromXmlChars(node->name);
    if (node->ns && node->ns->prefix)
        return FromXmlChars(node->ns->prefix) + u':' + local;
    return local;
}

QString FromXmlChars(const unsigned char* text)
{
    return text ? QString::fromUtf8(reinterpret_cast<const char*>(text)) : QString();
}
