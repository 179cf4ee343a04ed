#include "TextHelpers.h"

#include <algorithm>
#include <libxml/HTMLparser.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// Tags become one blank each (from a '<' to the first '>' after it; a '<' with no '>'
// after it is text), unprintable characters become blanks (a surrogate pair is judged as
// the one character it encodes; a lone surrogate is not printable), and runs of blanks
// before a non-blank become one blank, while a run at the end stays as it is. One sweep
// into one new string: descriptions can be megabytes long.
void ReplaceTagsAndBlanks(QString& text)
{
    const qsizetype n = text.size();
    const QChar* in = text.constData();
    const qsizetype lastClose = text.lastIndexOf(u'>');
    QString cleaned(n, Qt::Uninitialized); // never longer than the text
    QChar* out = cleaned.data();
    qsizetype length = 0;
    qsizetype run = 0;
    const auto put = [&](QChar c) {
        if (c == u' ') {
            ++run;
            return;
        }
        if (run > 0)
            out[length++] = u' ';
        run = 0;
        out[length++] = c;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = in[i].unicode();
        if (u == u'<' && i < lastClose) {
            put(u' ');
            i = text.indexOf(u'>', i + 1);
        } else if (u >= 0x20 && u < 0x7F) { // most text is plain ASCII: no look-up
            put(in[i]);
        } else if (u < 0x20 || u == 0x7F) {
            put(u' ');
        } else if (in[i].isHighSurrogate() && i + 1 < n && in[i + 1].isLowSurrogate()) {
            const bool printable = QChar::isPrint(QChar::surrogateToUcs4(in[i], in[i + 1]));
            put(printable ? in[i] : QChar(u' '));
            put(printable ? in[i + 1] : QChar(u' '));
            ++i;
        } else {
            put(in[i].isPrint() ? in[i] : QChar(u' '));
        }
    }
    while (run-- > 0)
        out[length++] = u' ';
    cleaned.truncate(length);
    text = std::move(cleaned);
}

void DecodeCharacterReferences(QString& text)
{
    const qsizetype n = text.size();
    QString out;
    qsizetype copied = 0;
    // A look for '&' alone is many times faster than one for "&#".
    const auto next = [&text, n](qsizetype from) {
        for (qsizetype at = text.indexOf(u'&', from); at >= 0; at = text.indexOf(u'&', at + 1)) {
            if (at + 1 < n && text[at + 1] == u'#')
                return at;
        }
        return qsizetype(-1);
    };
    qsizetype p = next(0);
    while (p >= 0) {
        qsizetype i = p + 2;
        quint16 value = 0;
        for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i)
            value = quint16(value * 10 + (text[i].unicode() - u'0'));
        if (i < n && text[i] == u';' && value != 0) {
            if (out.isNull())
                out.reserve(n);
            out.append(QStringView(text).mid(copied, p - copied));
            out.append(QChar(value));
            copied = i + 1;
        }
        p = next(i);
    }
    if (copied == 0)
        return;
    out.append(QStringView(text).mid(copied));
    text = std::move(out);
}

} // namespace

void CleanText(QString& text)
{
    ReplaceTagsAndBlanks(text);
    DecodeCharacterReferences(text);
}

namespace {

bool IsAsciiLetter(char16_t u)
{
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

bool IsAsciiAlnum(char16_t u)
{
    return IsAsciiLetter(u) || (u >= u'0' && u <= u'9');
}

bool IsHtmlSpace(char16_t u)
{
    return u == u' ' || u == u'\t' || u == u'\n' || u == u'\r' || u == u'\f';
}

// Numeric references 128 to 159 name C1 controls, but feeds mean the characters Windows-1252
// has there; the five it leaves unused stay as they are.
constexpr char16_t kWindows1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr qsizetype kLongestEntityName = 32;

struct Reference
{
    char32_t code = 0;
    qsizetype length = 0; // 0: nothing decodes at this '&'
};

// The character reference at the '&' at "at", through its ';'.
Reference ReferenceAt(QStringView text, qsizetype at)
{
    const qsizetype n = text.size();
    qsizetype i = at + 1;
    if (i < n && text[i] == u'#') {
        ++i;
        const bool hex = i < n && (text[i] == u'x' || text[i] == u'X');
        if (hex)
            ++i;
        const qsizetype digits = i;
        char32_t value = 0;
        for (; i < n; ++i) {
            const char16_t u = text[i].unicode();
            char32_t digit = 0;
            if (u >= u'0' && u <= u'9')
                digit = u - u'0';
            else if (hex && u >= u'a' && u <= u'f')
                digit = u - u'a' + 10;
            else if (hex && u >= u'A' && u <= u'F')
                digit = u - u'A' + 10;
            else
                break;
            if (value <= 0x10FFFF) // past the last code point it stops growing
                value = value * (hex ? 16 : 10) + digit;
        }
        if (i == digits || i >= n || text[i] != u';')
            return {};
        if (value >= 0x80 && value <= 0x9F)
            value = kWindows1252[value - 0x80];
        else if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            value = 0xFFFD;
        return {value, i + 1 - at};
    }
    const qsizetype name = i;
    while (i < n && i - name <= kLongestEntityName && IsAsciiAlnum(text[i].unicode()))
        ++i;
    if (i == name || i >= n || text[i] != u';')
        return {};
    const QByteArray latin = text.mid(name, i - name).toLatin1();
    const htmlEntityDesc* entity =
        htmlEntityLookup(reinterpret_cast<const xmlChar*>(latin.constData()));
    if (!entity)
        return {};
    return {char32_t(entity->value), i + 1 - at};
}

void AppendCode(QString& out, char32_t code)
{
    if (QChar::requiresSurrogates(code)) {
        out += QChar(QChar::highSurrogate(code));
        out += QChar(QChar::lowSurrogate(code));
    } else {
        out += QChar(char16_t(code));
    }
}

// Where the tag that starts at the '<' at "at" ends (its '>').
constexpr qsizetype kNotATag = -1;
constexpr qsizetype kNoEnd = -2;
qsizetype TagEnd(QStringView html, qsizetype at)
{
    const qsizetype n = html.size();
    if (at + 1 >= n)
        return kNotATag;
    const char16_t first = html[at + 1].unicode();
    const bool starts = IsAsciiLetter(first) || first == u'!' || first == u'?' ||
                        (first == u'/' && at + 2 < n && IsAsciiLetter(html[at + 2].unicode()));
    if (!starts)
        return kNotATag;
    if (html.mid(at, 4) == u"<!--") {
        const qsizetype close = html.indexOf(u"-->", at + 4);
        return close < 0 ? kNoEnd : close + 2;
    }
    for (qsizetype i = at + 1; i < n; ++i) {
        const QChar c = html[i];
        if (c == u'>')
            return i;
        if (c == u'"' || c == u'\'') {
            i = html.indexOf(c, i + 1);
            if (i < 0)
                return kNoEnd;
        }
    }
    return kNoEnd;
}

// Whether the tag at "at" ends a line of text, so the words around it stay apart.
bool BreaksWords(QStringView html, qsizetype at)
{
    static const char* const kBlocks[] = {
        "p",  "br", "div", "li", "ul", "ol", "tr", "td", "th",    "h1",         "h2",
        "h3", "h4", "h5",  "h6", "hr", "dd", "dt", "dl", "table", "blockquote", "pre"};
    qsizetype i = at + 1;
    if (i < html.size() && html[i] == u'/')
        ++i;
    const qsizetype start = i;
    while (i < html.size() && IsAsciiAlnum(html[i].unicode()))
        ++i;
    const QStringView name = html.mid(start, i - start);
    for (const char* block : kBlocks) {
        if (name.compare(QLatin1String(block), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

bool LooksLikeHtml(QStringView text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u == u'&' && ReferenceAt(text, i).length > 0)
            return true;
        if (u == u'<' && i + 2 < n && text[i + 1] == u'/' && IsAsciiLetter(text[i + 2].unicode())) {
            qsizetype j = i + 3;
            while (j < n && (IsAsciiAlnum(text[j].unicode()) || text[j] == u'-' || text[j] == u':'))
                ++j;
            while (j < n && IsHtmlSpace(text[j].unicode()))
                ++j;
            if (j < n && text[j] == u'>')
                return true;
        }
    }
    return false;
}

QString DecodeHtmlReferences(QStringView text)
{
    QString out;
    out.reserve(text.size());
    qsizetype copied = 0;
    for (qsizetype at = text.indexOf(u'&'); at >= 0; at = text.indexOf(u'&', at + 1)) {
        const Reference reference = ReferenceAt(text, at);
        if (reference.length == 0)
            continue;
        out += text.mid(copied, at - copied);
        AppendCode(out, reference.code);
        copied = at + reference.length;
        at = copied - 1;
    }
    out += text.mid(copied);
    return out;
}

QString HtmlToText(QStringView html)
{
    const qsizetype n = html.size();
    QString out;
    out.reserve(n);
    bool blank = false;      // a blank is due before the next character
    qsizetype noTagFrom = n; // a '<' from here on has no end: it is text
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = html[i].unicode();
        if (IsHtmlSpace(u)) {
            blank = true;
            continue;
        }
        if (u == u'<' && i < noTagFrom) {
            const qsizetype end = TagEnd(html, i);
            if (end >= 0) {
                if (BreaksWords(html, i))
                    blank = true;
                i = end;
                continue;
            }
            if (end == kNoEnd)
                noTagFrom = i;
        }
        if (blank && !out.isEmpty())
            out += u' ';
        blank = false;
        if (u == u'&') {
            if (const Reference reference = ReferenceAt(html, i); reference.length > 0) {
                AppendCode(out, reference.code);
                i += reference.length - 1;
                continue;
            }
        }
        out += html[i];
    }
    return out;
}

QString ShownFeedText(const QString& text)
{
    return LooksLikeHtml(text) ? HtmlToText(text) : text;
}

QString OneLineText(const QString& text)
{
    QString out;
    out.reserve(text.size());
    bool blank = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u <= u' ' || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029) {
            blank = true;
            continue;
        }
        if (blank && !out.isEmpty())
            out += u' ';
        blank = false;
        out += c;
    }
    return out;
}

bool NormalizeFeedUrl(const QString& text, QString& url)
{
    // Leading white space goes first, so that an address pasted with blanks in front of it
    // still gives its first word.
    QString s = text.trimmed();
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == u'\r' || s[i] == u'\n' || s[i] == u'\t' || s[i] == u' ') {
            s = s.left(i).trimmed();
            break;
        }
    }
    if (s.isEmpty())
        return false;
    const qsizetype colon = s.indexOf(u':');
    if (colon < 0)
        return false;
    const QString scheme = s.left(colon).toLower();
    const QString rest = s.mid(colon + 1);
    if (scheme == "feed"_L1 && (rest.startsWith("http://"_L1, Qt::CaseInsensitive) ||
                                rest.startsWith("https://"_L1, Qt::CaseInsensitive)))
        url = rest; // "feed:https://host/x" wraps the address itself
    else if (scheme == "feed"_L1)
        url = u"http"_s + s.mid(colon);
    else if (scheme == "http"_L1 || scheme == "https"_L1)
        url = s;
    else
        return false;
    return true;
}

QString BackslashEscaped(const QString& text)
{
    const auto special = [](QChar c) {
        return c == u'\t' || c == u'\n' || c == u'\r' || c == u'\\';
    };
    // Most texts hold nothing to escape: they are shared, not copied.
    if (std::none_of(text.begin(), text.end(), special))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\t':
            out += u"\\t"_s;
            break;
        case u'\n':
            out += u"\\n"_s;
            break;
        case u'\r':
            out += u"\\r"_s;
            break;
        case u'\\':
            out += u"\\\\"_s;
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString HexDigest(const QByteArray& sixteenBytes)
{
    return QString::fromLatin1(sixteenBytes.toHex().toUpper());
}

QString FormatSize(qint64 n)
{
    if (n < 1024)
        return QString::number(n) + " bytes"_L1;
    if (n < 1048576)
        return QString::number(double(n) / 1024.0, 'f', 1) + " KB"_L1;
    return QString::number(double(n) / 1048576.0, 'f', 1) + " MB"_L1;
}

qint64 LeadingInt(QStringView s)
{
    qsizetype i = 0;
    while (i < s.size() && s[i].isSpace())
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+'))
        negative = s[i++] == u'-';
    qint64 value = 0;
    for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
        if (value < Q_INT64_C(1) << 56)
            value = value * 10 + (s[i].unicode() - u'0');
    }
    return negative ? -value : value;
}
