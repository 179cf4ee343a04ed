#include "NewspaperPage.h"

#include "Newspaper.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxslt/imports.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>
#include <memory>

namespace {

struct DocFree
{
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct StyleFree
{
    void operator()(xsltStylesheet* style) const { xsltFreeStylesheet(style); }
};
struct ContextFree
{
    void operator()(xsltTransformContext* context) const { xsltFreeTransformContext(context); }
};
struct PrefsFree
{
    void operator()(xsltSecurityPrefs* prefs) const { xsltFreeSecurityPrefs(prefs); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

std::unique_ptr<xsltStylesheet, StyleFree> LoadStyle(const QString& styleFile)
{
    // The style may not fetch anything from the network or expand external entities.
    DocPtr doc(xmlReadFile(QFile::encodeName(styleFile).constData(), nullptr,
                           XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR));
    if (!doc)
        return nullptr;
    std::unique_ptr<xsltStylesheet, StyleFree> style(xsltParseStylesheetDoc(doc.get()));
    if (style)
        doc.release(); // the style owns it now
    return style;
}

// The output encoding the style (or one of its imports) asks for; UTF-8 when none.
QByteArray OutputEncoding(xsltStylesheet* style)
{
    for (xsltStylesheet* s = style; s; s = xsltNextImport(s)) {
        if (s->encoding)
            return QByteArray(reinterpret_cast<const char*>(s->encoding));
    }
    return QByteArrayLiteral("UTF-8");
}

bool Transform(xsltStylesheet* style, xmlDoc* newspaper, QString& html)
{
    std::unique_ptr<xsltSecurityPrefs, PrefsFree> prefs(xsltNewSecurityPrefs());
    std::unique_ptr<xsltTransformContext, ContextFree> context(
        xsltNewTransformContext(style, newspaper));
    if (!prefs || !context)
        return false;
    for (xsltSecurityOption option : {XSLT_SECPREF_WRITE_FILE, XSLT_SECPREF_CREATE_DIRECTORY,
                                      XSLT_SECPREF_READ_NETWORK, XSLT_SECPREF_WRITE_NETWORK})
        xsltSetSecurityPrefs(prefs.get(), option, xsltSecurityForbid);
    if (xsltSetCtxtSecurityPrefs(prefs.get(), context.get()) != 0)
        return false;
    DocPtr result(
        xsltApplyStylesheetUser(style, newspaper, nullptr, nullptr, nullptr, context.get()));
    if (!result || context->state != XSLT_STATE_OK)
        return false;
    xmlChar* text = nullptr;
    int length = 0;
    if (xsltSaveResultToString(&text, &length, result.get(), style) != 0)
        return false;
    const QByteArray bytes(reinterpret_cast<const char*>(text), text ? length : 0);
    xmlFree(text);
    QStringDecoder decode(OutputEncoding(style).constData());
    if (!decode.isValid())
        return false;
    html = decode(bytes);
    return !decode.hasError();
}

bool WritePage(const QString& pageFile, const QString& html)
{
    QFile file(pageFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QStringEncoder encode(QStringConverter::Utf16LE);
    QByteArray bytes("\xFF\xFE", 2);
    bytes += encode(html);
    return file.write(bytes) == bytes.size() && file.flush();
}

} // namespace

bool WriteNewspaperPage(CRssNode& node, const QString& styleFile, const QString& pageFile)
{
    DocPtr newspaper(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
    if (!newspaper)
        return false;
    BuildNewspaper(node, newspaper.get(), reinterpret_cast<xmlNode*>(newspaper.get()));
    return WriteStyledPage(newspaper.get(), styleFile, pageFile);
}

bool WriteStyledPage(xmlDoc* newspaper, const QString& styleFile, const QString& pageFile)
{
    auto style = LoadStyle(styleFile);
    if (!style)
        return false;
    QString html;
    if (!Transform(style.get(), newspaper, html))
        return false;
    return WritePage(pageFile, html);
}
