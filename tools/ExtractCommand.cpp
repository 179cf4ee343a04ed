#include "ToolCommands.h"

#include "ArticleCache.h"
#include "ToolSupport.h"
#include "CVoiceConverter.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr char kUsage[] =
    "usage: calvoria-tool extract FILE [--content-type TYPE] [--cache] [--script SCRIPT]\n"
    "                              [--explain]\n"
    "  FILE is a saved page (or a folder holding source.html), which goes through the\n"
    "  article cache as a downloaded page would; with --cache it is a cache file itself.\n"
    "  A saved page has lost its HTTP content type. Without --content-type, a page that is\n"
    "  valid UTF-8 with some non-ASCII text is \"text/html; charset=utf-8\" (saving tools\n"
    "  re-encode pages and leave their <meta> as it was); otherwise the page's own <meta>\n"
    "  charset in its first 4 KB gives \"text/html; charset=NAME\"; else \"text/html\",\n"
    "  which is read as ISO-8859-1.\n"
    "  --script runs SCRIPT instead of the extraction script built into the program.\n"
    "  --explain also prints to standard error which element was taken as the article,\n"
    "  with its score, and what was cut from the page and why, one line each.\n"
    "  Prints the text (UTF-8); on failure prints the log lines and exits with 1.\n";

// The charset a page declares in a <meta charset> or <meta http-equiv> tag near its start.
QString DeclaredCharset(const QByteArray& page)
{
    static const QRegularExpression meta(
        uR"(<meta\s[^>]*charset\s*=\s*["']?\s*([A-Za-z0-9_.:\-]+))"_s,
        QRegularExpression::CaseInsensitiveOption);
    return meta.match(QString::fromLatin1(page.left(4096))).captured(1);
}

bool IsUtf8WithNonAscii(const QByteArray& page)
{
    const bool ascii =
        std::all_of(page.begin(), page.end(), [](char c) { return uchar(c) < 0x80; });
    if (ascii)
        return false;
    QStringDecoder decoder(QStringConverter::Utf8);
    const QString text = decoder(page);
    return !decoder.hasError();
}

// The content type a saved page stands for.
QString SavedPageContentType(const QByteArray& page)
{
    if (IsUtf8WithNonAscii(page))
        return u"text/html; charset=utf-8"_s;
    const QString charset = DeclaredCharset(page);
    return charset.isEmpty() ? u"text/html"_s : u"text/html; charset="_s + charset;
}

int RunExtractCommand(const QStringList& args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QString source, contentType, scriptFile;
    bool isCache = false;
    bool typeGiven = false;
    bool explain = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == u"--cache"_s) {
            isCache = true;
        } else if (arg == u"--explain"_s) {
            explain = true;
        } else if (arg == u"--content-type"_s && i + 1 < args.size()) {
            contentType = args[++i];
            typeGiven = true;
        } else if (arg == u"--script"_s && i + 1 < args.size()) {
            scriptFile = args[++i];
        } else if (source.isEmpty() && !arg.startsWith(u"--"_s)) {
            source = arg;
        } else {
            source.clear();
            break;
        }
    }
    if (source.isEmpty()) {
        err << kUsage;
        return 2;
    }
    if (QFileInfo(source).isDir())
        source += u"/source.html"_s;

    QTemporaryDir dir;
    if (!dir.isValid()) {
        err << "cannot create a temporary folder\n";
        return 1;
    }

    QString cachePath = source;
    if (!isCache) {
        QFile file(source);
        if (!file.open(QIODevice::ReadOnly)) {
            err << "cannot read " << source << '\n';
            return 1;
        }
        const QByteArray page = file.readAll();
        if (!typeGiven)
            contentType = SavedPageContentType(page);
        cachePath = dir.filePath(u"page.html"_s);
        if (!WriteArticleCacheFile(cachePath, contentType, {}, page)) {
            err << "cannot write " << cachePath << '\n';
            return 1;
        }
    }

    CVoiceConverter converter(QCoreApplication::applicationDirPath());
    if (scriptFile.isEmpty()) {
        if (!converter.LoadScript()) {
            err << "no extraction script in the program\n";
            return 1;
        }
    } else {
        QFile script(scriptFile);
        if (!script.open(QIODevice::ReadOnly)) {
            err << "cannot read " << scriptFile << '\n';
            return 1;
        }
        converter.SetScriptText(script.readAll());
    }

    // The script reads this flag; the program itself never sets it.
    if (explain)
        converter.SetScriptText("$main::extract_explain = 1;\n" + converter.ScriptText());

    CToolLog log;
    QString text;
    if (!converter.PageToText(cachePath, text)) {
        log.Print(err);
        return 1;
    }
    out << text;
    if (!text.endsWith(u'\n'))
        out << '\n';
    return 0;
}

const ToolCommandRegistration kExtractCommand{
    {"extract",
     "FILE [--content-type TYPE] [--cache] [--explain]\n"
     "                 print the text the extraction script takes from a saved page or a "
     "cache file",
     RunExtractCommand}};

} // namespace
