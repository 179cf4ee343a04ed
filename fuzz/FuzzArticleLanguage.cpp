// Reads arbitrary bytes as an article page and its Content-Language header: the language
// found is a tag or nothing, and the text handed to flite is plain ASCII without endless
// tokens.

#include "ArticleLanguage.h"
#include "FliteSpeech.h"

#include <QRegularExpression>
#include <cstdint>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // The first line is the header, the rest the page.
    const qsizetype newline = bytes.indexOf('\n');
    const QString header = QString::fromUtf8(bytes.left(newline < 0 ? 0 : newline));
    const QByteArray page = newline < 0 ? bytes : bytes.mid(newline + 1);

    static const QRegularExpression kTag(u"^([a-z]{2,3}(-[a-z0-9]{1,8})*)?$"_s);
    if (!kTag.match(ArticleLanguage(page, header)).hasMatch())
        std::abort();

    const QByteArray ascii = FliteText(QString::fromUtf8(page));
    qsizetype token = 0;
    for (const char c : ascii) {
        if (uchar(c) >= 0x80 || (uchar(c) < 0x20 && c != '\n'))
            std::abort();
        token = c == ' ' || c == '\n' ? 0 : token + 1;
        if (token > 32)
            std::abort();
    }
    return 0;
}
