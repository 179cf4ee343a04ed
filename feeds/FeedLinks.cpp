#include "FeedLinks.h"

#include "XmlHelpers.h"

#include <QByteArray>
#include <libxml/tree.h>
#include <libxml/uri.h>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

const xmlChar* X(const char* s)
{
    return reinterpret_cast<const xmlChar*>(s);
}

bool IsPlainLink(const xmlNode* node)
{
    return node->type == XML_ELEMENT_NODE && (!node->ns || !node->ns->prefix) &&
           xmlStrcasecmp(node->name, X("link")) == 0;
}

// A relation as written, or its registry address form.
bool IsRelation(const QString& rel, const QString& name)
{
    static const QString registry = u"http://www.iana.org/assignments/relation/"_s;
    if (rel.compare(name, Qt::CaseInsensitive) == 0)
        return true;
    return rel.startsWith(registry, Qt::CaseInsensitive) &&
           QStringView(rel).mid(registry.size()).compare(name, Qt::CaseInsensitive) == 0;
}

bool IsPageType(const QString& type)
{
    const QString mime = type.section(u';', 0, 0).trimmed();
    return mime.isEmpty() || mime.compare(u"text/html"_s, Qt::CaseInsensitive) == 0 ||
           mime.compare(u"application/xhtml+xml"_s, Qt::CaseInsensitive) == 0;
}

bool HasScheme(const QString& link)
{
    if (link.isEmpty() || !(link[0].isLetter() && link[0].unicode() < 0x80))
        return false;
    for (qsizetype i = 1; i < link.size(); ++i) {
        const char16_t u = link[i].unicode();
        if (u == u':')
            return true;
        const bool schemeChar = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') ||
                                (u >= u'0' && u <= u'9') || u == u'+' || u == u'-' || u == u'.';
        if (!schemeChar)
            return false;
    }
    return false;
}

bool IsHttpAddress(const QByteArray& url)
{
    const QByteArray scheme = url.left(8).toLower();
    return scheme.startsWith("http://") || scheme.startsWith("https://");
}

// link resolved against base, both UTF-8; empty when the library cannot.
QByteArray BuildUri(const QByteArray& link, const QByteArray& base)
{
    xmlChar* built = xmlBuildURI(X(link.constData()), X(base.constData()));
    if (!built)
        return {};
    QByteArray result(reinterpret_cast<const char*>(built));
    xmlFree(built);
    return result;
}

// The base address of element: the document's address, then each xml:base from the
// outermost ancestor in.
QByteArray BaseOf(const xmlNode* element)
{
    std::vector<QByteArray> bases;
    for (const xmlNode* node = element; node && node->type == XML_ELEMENT_NODE;
         node = node->parent) {
        if (xmlChar* value = xmlGetNsProp(node, X("base"), XML_XML_NAMESPACE)) {
            bases.emplace_back(reinterpret_cast<const char*>(value));
            xmlFree(value);
        }
    }
    QByteArray base;
    if (element->doc && element->doc->URL)
        base = reinterpret_cast<const char*>(element->doc->URL);
    for (auto it = bases.rbegin(); it != bases.rend(); ++it) {
        const QByteArray value = it->trimmed();
        base = base.isEmpty() ? value : BuildUri(value, base);
        if (base.isEmpty())
            return {};
    }
    return base;
}

QString AttributeOf(const xmlNode* node, const char* name, bool* present = nullptr)
{
    return Attribute(node, name, present).trimmed();
}

} // namespace

AtomLinks ChooseAtomLinks(const xmlNode* parent)
{
    AtomLinks links;
    const xmlNode* otherPage = nullptr;
    for (const xmlNode* child = parent ? parent->children : nullptr; child; child = child->next) {
        if (!IsPlainLink(child) || AttributeOf(child, "href").isEmpty())
            continue;
        QString rel = AttributeOf(child, "rel");
        if (rel.isEmpty())
            rel = u"alternate"_s;
        if (IsRelation(rel, u"alternate"_s)) {
            if (!links.page && IsPageType(AttributeOf(child, "type")))
                links.page = child;
            else if (!otherPage)
                otherPage = child;
        } else if (IsRelation(rel, u"enclosure"_s) && !links.enclosure) {
            bool hasType = false, hasLength = false;
            AttributeOf(child, "type", &hasType);
            AttributeOf(child, "length", &hasLength);
            if (hasType && hasLength)
                links.enclosure = child;
        }
    }
    if (!links.page)
        links.page = otherPage;
    return links;
}

QString ResolveLink(const xmlNode* element, const QString& link)
{
    const QString written = link.trimmed();
    if (!element || written.isEmpty() || HasScheme(written))
        return link;
    const QByteArray base = BaseOf(element);
    if (!IsHttpAddress(base))
        return link;
    const QByteArray resolved = BuildUri(written.toUtf8(), base);
    return resolved.isEmpty() ? link : QString::fromUtf8(resolved);
}

QString GuidPermalink(const xmlNode* guid)
{
    if (!guid)
        return {};
    bool present = false;
    const QString permaLink = AttributeOf(guid, "isPermaLink", &present);
    if (present && permaLink.compare(u"true"_s, Qt::CaseInsensitive) != 0)
        return {};
    const QString text = NodeText(guid).trimmed();
    const bool http = text.startsWith(u"http://"_s, Qt::CaseInsensitive) ||
                      text.startsWith(u"https://"_s, Qt::CaseInsensitive);
    if (!http || text.size() <= 8)
        return {};
    for (const QChar c : text) {
        if (c.isSpace())
            return {};
    }
    return text;
}
