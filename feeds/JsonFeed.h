#pragma once

#include "XmlHelpers.h"

#include <QByteArray>

// True when the body, past white space and a byte order mark, starts as a JSON object.
bool LooksLikeJson(const QByteArray& body);

// Reads a JSON Feed (version 1 or 1.1) into the RSS 2.0 document the feed reader reads, so
// its items get the identity and merge rules of every other feed: title, link (url, else
// external_url), description (content_html, else content_text, else summary), pubDate from
// date_published, author, category from the first tag, and the first audio attachment as
// the enclosure. JSON that is no JSON Feed gives a document with no recognised root
// element; bytes that are not JSON give null and a parse error.
XmlDocPtr JsonFeedToRss(const QByteArray& body, XmlLoadError& error);
