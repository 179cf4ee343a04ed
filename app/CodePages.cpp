#include "CodePages.h"

#include "CAppLog.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <iconv.h>

using namespace Qt::Literals::StringLiterals;

namespace {

struct CharsetEntry
{
    const char* name;
    int codePage;
};

// In this order: a later entry for the same name replaces the earlier one.
constexpr CharsetEntry kCharsets[] = {
    {"asmo-708", 708},
    {"dos-720", 720},
    {"iso-8859-6", 28596},
    {"x-mac-arabic", 10004},
    {"windows-1256", 1256},
    {"ibm775", 775},
    {"iso-8859-4", 28594},
    {"windows-1257", 1257},
    {"ibm852", 852},
    {"iso-8859-2", 28592},
    {"x-mac-ce", 10029},
    {"windows-1250", 1250},
    {"euc-cn", 51936},
    {"gb2312", 936},
    {"hz-gb-2312", 52936},
    {"x-mac-chinesesimp", 10008},
    {"big5", 950},
    {"x-chinese-cns", 20000},
    {"x-chinese-eten", 20002},
    {"x-mac-chinesetrad", 10002},
    {"cp866", 866},
    {"iso-8859-5", 28595},
    {"koi8-r", 20866},
    {"koi8-u", 21866},
    {"x-mac-cyrillic", 10007},
    {"windows-1251", 1251},
    {"x-europa", 29001},
    {"x-ia5-german", 20106},
    {"ibm737", 737},
    {"iso-8859-7", 28597},
    {"x-mac-greek", 10006},
    {"windows-1253", 1253},
    {"ibm869", 869},
    {"dos-862", 862},
    {"iso-8859-8-i", 38598},
    {"iso-8859-8", 28598},
    {"x-mac-hebrew", 10005},
    {"windows-1255", 1255},
    {"x-ebcdic-arabic", 20420},
    {"x-ebcdic-cyrillicrussian", 20880},
    {"x-ebcdic-cyrillicserbianbulgarian", 21025},
    {"x-ebcdic-denmarknorway", 20277},
    {"x-ebcdic-denmarknorway-euro", 1142},
    {"x-ebcdic-finlandsweden", 20278},
    {"x-ebcdic-finlandsweden-euro", 1143},
    {"x-ebcdic-finlandsweden-euro", 1143},
    {"x-ebcdic-france-euro", 1147},
    {"x-ebcdic-germany", 20273},
    {"x-ebcdic-germany-euro", 1141},
    {"x-ebcdic-greekmodern", 875},
    {"x-ebcdic-greek", 20423},
    {"x-ebcdic-hebrew", 20424},
    {"x-ebcdic-icelandic", 20871},
    {"x-ebcdic-icelandic-euro", 1149},
    {"x-ebcdic-international-euro", 1148},
    {"x-ebcdic-italy", 20280},
    {"x-ebcdic-italy-euro", 1144},
    {"x-ebcdic-japaneseandkana", 50930},
    {"x-ebcdic-japaneseandjapaneselatin", 50939},
    {"x-ebcdic-japaneseanduscanada", 50931},
    {"x-ebcdic-japanesekatakana", 20290},
    {"x-ebcdic-koreanandkoreanextended", 50933},
    {"x-ebcdic-koreanextended", 20833},
    {"cp870", 870},
    {"x-ebcdic-simplifiedchinese", 50935},
    {"x-ebcdic-spain", 20284},
    {"x-ebcdic-spain-euro", 1145},
    {"x-ebcdic-thai", 20838},
    {"x-ebcdic-traditionalchinese", 50937},
    {"cp1026", 1026},
    {"x-ebcdic-turkish", 20905},
    {"x-ebcdic-uk", 20285},
    {"x-ebcdic-uk-euro", 1146},
    {"ebcdic-cp-us", 37},
    {"x-ebcdic-cp-us-euro", 1140},
    {"ibm861", 861},
    {"x-mac-icelandic", 10079},
    {"x-iscii-as", 57006},
    {"x-iscii-be", 57003},
    {"x-iscii-de", 57002},
    {"x-iscii-gu", 57010},
    {"x-iscii-ka", 57008},
    {"x-iscii-ma", 57009},
    {"x-iscii-or", 57007},
    {"x-iscii-pa", 57011},
    {"x-iscii-ta", 57004},
    {"x-iscii-te", 57005},
    {"euc-jp", 51932},
    {"iso-2022-jp", 50220},
    {"iso-2022-jp", 50222},
    {"csiso2022jp", 50221},
    {"x-mac-japanese", 10001},
    {"shift_jis", 932},
    {"ks_c_5601-1987", 949},
    {"euc-kr", 51949},
    {"iso-2022-kr", 50225},
    {"johab", 1361},
    {"x-mac-korean", 10003},
    {"iso-8859-3", 28593},
    {"iso-8859-15", 28605},
    {"x-ia5-norwegian", 20108},
    {"ibm437", 437},
    {"x-ia5-swedish", 20107},
    {"windows-874", 874},
    {"ibm857", 857},
    {"iso-8859-9", 28599},
    {"x-mac-turkish", 10081},
    {"windows-1254", 1254},
    {"unicode", 1200},
    {"unicodefffe", 1201},
    {"utf-7", 65000},
    {"utf-8", 65001},
    {"us-ascii", 20127},
    {"windows-1258", 1258},
    {"ibm850", 850},
    {"x-ia5", 20105},
    {"iso-8859-1", 28591},
    {"macintosh", 10000},
    {"windows-1252", 1252},
};

const QHash<QString, int>& CharsetTable()
{
    static const QHash<QString, int> table = [] {
        QHash<QString, int> t;
        for (const CharsetEntry& e : kCharsets)
            t.insert(QString::fromLatin1(e.name), e.codePage);
        return t;
    }();
    return table;
}

// Where glibc lacks a code page, the nearest one it has stands in: the Mac CJK pages and
// ETEN use the double-byte set they extend (they differ only in a few rarely used single
// bytes); CNS Taiwan reads as EUC-TW (the same plane 1); EBCDIC Thai reads as the later
// IBM page that adds the euro to it, EBCDIC Korean extended as the mixed IBM page whose
// single-byte half it is; EBCDIC US-Canada and Japanese reads as the Japanese-Latin page,
// which has the same double-byte set, plain Latin letters and digits. HZ is unwrapped to
// GB2312 first. The pages given as null have nothing close in glibc: they are read as
// ISO-8859-1.
constexpr struct
{
    int codePage;
    const char* iconvName;
} kIconvNames[] = {
    {37, "IBM037"},
    {437, "IBM437"},
    {708, "ASMO-708"},
    {720, nullptr},
    {737, "CP737"},
    {775, "IBM775"},
    {850, "IBM850"},
    {852, "IBM852"},
    {857, "IBM857"},
    {861, "IBM861"},
    {862, "IBM862"},
    {866, "IBM866"},
    {869, "IBM869"},
    {870, "IBM870"},
    {874, "WINDOWS-874"},
    {875, "IBM875"},
    {932, "CP932"},
    {936, "CP936"},
    {949, "CP949"},
    {950, "CP950"},
    {1026, "IBM1026"},
    {1140, "IBM1140"},
    {1141, "IBM1141"},
    {1142, "IBM1142"},
    {1143, "IBM1143"},
    {1144, "IBM1144"},
    {1145, "IBM1145"},
    {1146, "IBM1146"},
    {1147, "IBM1147"},
    {1148, "IBM1148"},
    {1149, "IBM1149"},
    {1200, "UTF-16LE"},
    {1201, "UTF-16BE"},
    {1250, "WINDOWS-1250"},
    {1251, "WINDOWS-1251"},
    {1252, "WINDOWS-1252"},
    {1253, "WINDOWS-1253"},
    {1254, "WINDOWS-1254"},
    {1255, "WINDOWS-1255"},
    {1256, "WINDOWS-1256"},
    {1257, "WINDOWS-1257"},
    {1258, "WINDOWS-1258"},
    {1361, "JOHAB"},
    {10000, "MACINTOSH"},
    {10001, "SHIFT_JIS"},
    {10002, "BIG5"},
    {10003, "EUC-KR"},
    {10004, nullptr},
    {10005, nullptr},
    {10006, nullptr},
    {10007, "CP10007"},
    {10008, "EUC-CN"},
    {10029, "MAC-CENTRALEUROPE"},
    {10079, "MAC-IS"},
    {10081, nullptr},
    {20000, "EUC-TW"},
    {20002, "BIG5"},
    {20105, nullptr},
    {20106, "ISO646-DE"},
    {20107, "ISO646-SE"},
    {20108, "ISO646-NO"},
    {20127, "ASCII"},
    {20273, "IBM273"},
    {20277, "IBM277"},
    {20278, "IBM278"},
    {20280, "IBM280"},
    {20284, "IBM284"},
    {20285, "IBM285"},
    {20290, "IBM290"},
    {20420, "IBM420"},
    {20423, "IBM423"},
    {20424, "IBM424"},
    {20833, "IBM1364"},
    {20838, "IBM1160"},
    {20866, "KOI8-R"},
    {20871, "IBM871"},
    {20880, "IBM880"},
    {20905, "IBM905"},
    {21025, "IBM1025"},
    {21866, "KOI8-U"},
    {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"},
    {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},
    {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"},
    {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"},
    {28599, "ISO-8859-9"},
    {28605, "ISO-8859-15"},
    {29001, nullptr},
    {38598, "ISO-8859-8"},
    {50220, "ISO-2022-JP"},
    {50221, "ISO-2022-JP"},
    {50222, "ISO-2022-JP"},
    {50225, "ISO-2022-KR"},
    {50930, "IBM930"},
    {50931, "IBM939"},
    {50933, "IBM933"},
    {50935, "IBM935"},
    {50937, "IBM937"},
    {50939, "IBM939"},
    {51932, "EUC-JP"},
    {51936, "EUC-CN"},
    {51949, "EUC-KR"},
    {52936, "EUC-CN"},
    {57002, nullptr},
    {57003, nullptr},
    {57004, nullptr},
    {57005, nullptr},
    {57006, nullptr},
    {57007, nullptr},
    {57008, nullptr},
    {57009, nullptr},
    {57010, nullptr},
    {57011, nullptr},
    {65000, "UTF-7"},
    {65001, "UTF-8"},
};

// Native-order UTF-16, so that iconv writes straight into a QString's buffer.
const char* const kUtf16 = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";

bool DecodeWithIconv(const QByteArray& bytes, const char* from, QString& text)
{
    iconv_t cd = iconv_open(kUtf16, from);
    if (cd == iconv_t(-1))
        return false;

    QString out(bytes.size() + 16, Qt::Uninitialized);
    qsizetype used = 0;
    const auto appendReplacement = [&] {
        if (used == out.size())
            out.resize(out.size() * 2);
        out[used++] = QChar::ReplacementCharacter;
    };
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    for (;;) {
        char* outPtr = reinterpret_cast<char*>(out.data() + used);
        size_t outLeft = size_t(out.size() - used) * sizeof(QChar);
        // With all input read, one more call writes out what a stateful decoder still holds.
        const bool flushing = inLeft == 0;
        const size_t r = flushing ? iconv(cd, nullptr, nullptr, &outPtr, &outLeft)
                                  : iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        used = out.size() - qsizetype(outLeft / sizeof(QChar));
        if (r != size_t(-1)) {
            if (flushing)
                break;
        } else if (error == E2BIG) {
            out.resize(out.size() * 2);
        } else if (error == EILSEQ && !flushing) {
            appendReplacement();
            ++in;
            --inLeft;
        } else if (error == EINVAL && !flushing) {
            // The input ends inside a sequence.
            appendReplacement();
            in += inLeft;
            inLeft = 0;
        } else {
            break;
        }
    }
    iconv_close(cd);
    out.truncate(used);
    text = std::move(out);
    return true;
}

// HZ (RFC 1843) to GB2312 in EUC form: "~{" starts and "~}" ends a run of two-byte
// characters written in 7 bits, "~~" is a tilde and a tilde before a line end joins lines.
QByteArray HzToEucCn(const QByteArray& hz)
{
    QByteArray out;
    out.reserve(hz.size());
    bool gb = false;
    for (qsizetype i = 0; i < hz.size(); ++i) {
        const char c = hz[i];
        const char next = i + 1 < hz.size() ? hz[i + 1] : '\0';
        if (c == '~' && (next == '{' || next == '}')) {
            gb = next == '{';
            ++i;
        } else if (c == '~' && !gb && (next == '~' || next == '\n')) {
            if (next == '~')
                out += '~';
            ++i;
        } else if (gb && c >= 0x21 && c <= 0x7E) {
            out += char(c | 0x80);
        } else {
            out += c; // the decoder turns anything out of place into U+FFFD
        }
    }
    return out;
}

constexpr int kHzCodePage = 52936;

} // namespace

int CharsetToCodePage(const QString& contentType)
{
    static constexpr QLatin1StringView kKey = "charset="_L1;
    QString name = u"ISO-8859-1"_s;
    const qsizetype at = contentType.indexOf(kKey);
    if (at >= 0) {
        const qsizetype start = at + kKey.size();
        const qsizetype end = contentType.indexOf(u';', start);
        name = contentType.mid(start, end < 0 ? -1 : end - start);
    }
    return CharsetTable().value(name.toLower(), 1252);
}

int BodyCodePage(const QString& contentType, const QByteArray& body)
{
    if (contentType.contains("charset="_L1))
        return CharsetToCodePage(contentType);
    // Only ASCII matters here: the declarations are read from the raw bytes.
    constexpr qsizetype kSniffBytes = 4096;
    const QString head = QString::fromLatin1(body.left(kSniffBytes));
    static const QRegularExpression xmlDeclaration(
        uR"(^(?:ï»¿)?\s*<\?xml[^>]*?\sencoding\s*=\s*["']([^"']+)["'])"_s);
    static const QRegularExpression metaCharset(
        uR"(<meta\s[^>]*?charset\s*=\s*["']?\s*([A-Za-z0-9._:-]+))"_s,
        QRegularExpression::CaseInsensitiveOption);
    QRegularExpressionMatch match = xmlDeclaration.match(head);
    if (!match.hasMatch())
        match = metaCharset.match(head);
    if (match.hasMatch()) {
        const auto found = CharsetTable().constFind(match.captured(1).trimmed().toLower());
        if (found != CharsetTable().constEnd())
            return found.value();
    }
    return CharsetToCodePage(contentType);
}

std::vector<int> CharsetTableCodePages()
{
    const QList<int> values = CharsetTable().values();
    std::vector<int> pages(values.begin(), values.end());
    std::sort(pages.begin(), pages.end());
    pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
    return pages;
}

const char* CodePageToIconvName(int codePage)
{
    for (const auto& entry : kIconvNames) {
        if (entry.codePage == codePage)
            return entry.iconvName;
    }
    return nullptr;
}

bool DecodeCodePage(const QByteArray& bytes, int codePage, QString& text)
{
    if (codePage == 65001) {
        text = QString::fromUtf8(bytes);
        return true;
    }
    const auto known = std::find_if(std::begin(kIconvNames), std::end(kIconvNames),
                                    [codePage](const auto& e) { return e.codePage == codePage; });
    if (known == std::end(kIconvNames))
        return false;
    if (known->iconvName != nullptr &&
        DecodeWithIconv(codePage == kHzCodePage ? HzToEucCn(bytes) : bytes, known->iconvName, text))
        return true;
    // A wrong letter here and there is better than no text at all.
    LogFormat("No converter for code page %d: reading the page as ISO-8859-1", codePage);
    text = QString::fromLatin1(bytes);
    return true;
}
