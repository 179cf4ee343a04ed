#include "TextHelpers.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// Each pass builds a new string in one sweep: descriptions can be megabytes long.

void ReplaceTags(QString& text)
{
    QString out;
    out.reserve(text.size());
    qsizetype p = 0;
    for (;;) {
        const qsizetype open = text.indexOf(u'<', p);
        const qsizetype close = open < 0 ? -1 : text.indexOf(u'>', open + 1);
        if (close < 0)
            break;
        out.append(QStringView(text).mid(p, open - p));
        out.append(u' ');
        p = close + 1;
    }
    if (p == 0)
        return;
    out.append(QStringView(text).mid(p));
    text = std::move(out);
}

// A surrogate pair is judged as the one character it encodes; a lone surrogate is not
// printable.
void BlankUnprintable(QString& text)
{
    const qsizetype n = text.size();
    QChar* c = text.data();
    for (qsizetype i = 0; i < n; ++i) {
        if (c[i].isHighSurrogate() && i + 1 < n && c[i + 1].isLowSurrogate()) {
            if (!QChar::isPrint(QChar::surrogateToUcs4(c[i], c[i + 1])))
                c[i] = c[i + 1] = u' ';
            ++i;
        } else if (!c[i].isPrint()) {
            c[i] = u' ';
        }
    }
}

// Runs of blanks before a non-blank become one blank; a run at the end stays as it is.
// Done in place: the text only shrinks.
void ShrinkBlankRuns(QString& text)
{
    const qsizetype n = text.size();
    QChar* c = text.data();
    qsizetype out = 0;
    qsizetype run = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (c[i] == u' ') {
            ++run;
            continue;
        }
        if (run > 0)
            c[out++] = u' ';
        run = 0;
        c[out++] = c[i];
    }
    while (run-- > 0)
        c[out++] = u' ';
    text.truncate(out);
}

void DecodeCharacterReferences(QString& text)
{
    const qsizetype n = text.size();
    QString out;
    qsizetype copied = 0;
    qsizetype p = text.indexOf(u"&#");
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
        p = text.indexOf(u"&#", i);
    }
    if (copied == 0)
        return;
    out.append(QStringView(text).mid(copied));
    text = std::move(out);
}

} // namespace

void CleanText(QString& text)
{
    ReplaceTags(text);
    BlankUnprintable(text);
    ShrinkBlankRuns(text);
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
    if (scheme == "feed"_L1)
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
