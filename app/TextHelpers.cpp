#include "TextHelpers.h"

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
