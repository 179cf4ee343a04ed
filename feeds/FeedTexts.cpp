#include "FeedTexts.h"

#include "TextHelpers.h"
#include "XmlHelpers.h"

#include <QByteArray>
#include <QStringDecoder>
#include <libxml/tree.h>

using namespace Qt::Literals::StringLiterals;

namespace {

QString MediaType(const xmlNode* element)
{
    return Attribute(element, "type").section(u';', 0, 0).trimmed().toLower();
}

bool IsAtom10(const xmlNode* element)
{
    return element->ns && element->ns->href &&
           xmlStrEqual(element->ns->href, BAD_CAST "http://www.w3.org/2005/Atom");
}

bool IsBase64(const xmlNode* element)
{
    bool hasMode = false;
    const QString mode = Attribute(element, "mode", &hasMode).trimmed();
    if (hasMode)
        return mode.compare(u"base64"_s, Qt::CaseInsensitive) == 0;
    if (!IsAtom10(element))
        return false;
    const QString type = MediaType(element);
    return type.contains(u'/') && !type.startsWith(u"text/"_s) && !type.endsWith(u"+xml"_s) &&
           !type.endsWith(u"/xml"_s);
}

// What base64 text encodes, when that is UTF-8 text.
bool DecodeBase64Text(const QString& encoded, QString& text)
{
    QByteArray bytes = encoded.toLatin1();
    bytes.replace(' ', "").replace('\t', "").replace('\r', "").replace('\n', "");
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(bytes, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.contains('\0'))
        return false;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString result = utf8(decoded.decoded);
    if (utf8.hasError())
        return false;
    text = result.trimmed();
    return true;
}

} // namespace

QString FeedElementText(const xmlNode* element)
{
    const QString text = NodeText(element).trimmed();
    if (!element || text.isEmpty() || !IsBase64(element))
        return text;
    QString decoded;
    return DecodeBase64Text(text, decoded) ? decoded : text;
}

QString ChannelTitleText(const xmlNode* title)
{
    const QString text = FeedElementText(title);
    if (!title)
        return text;
    const QString type = MediaType(title);
    if (type == u"html"_s || type == u"text/html"_s)
        return HtmlToText(text);
    if (type == u"xhtml"_s || type == u"application/xhtml+xml"_s)
        return OneLineText(text);
    return ShownFeedText(text);
}
