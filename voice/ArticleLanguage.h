#pragma once

#include <QByteArray>
#include <QString>

// The language an article declares: the lang (or xml:lang) attribute of the page's html
// element, else the first language of its Content-Language header. A normalised tag
// ("de", "en-gb"), or empty when the page declares none.
QString ArticleLanguage(const QByteArray& utf8Page, const QString& contentLanguage);
