// Reads arbitrary bytes as feed text and makes the text people see from it. That never
// crashes or hangs, the text shown is never longer than the text read, a text that does not
// look like HTML is shown as written, and a list line holds no line end.

#include "TextHelpers.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString shown = ShownFeedText(text);
    if (!LooksLikeHtml(text) && shown != text)
        std::abort();
    if (HtmlToText(text).size() > text.size() || DecodeHtmlReferences(text).size() > text.size())
        std::abort();
    const QString line = OneLineText(shown);
    if (line.size() > text.size() || line.contains(u'\n') || line.contains(u'\r'))
        std::abort();
    return 0;
}
