#pragma once

#include <QByteArrayView>

// The character an HTML 4 named entity stands for ("eacute" gives U+00E9); names are
// compared with their case. 0 when the name is not one of HTML's.
char32_t HtmlEntityCodePoint(QByteArrayView name);
