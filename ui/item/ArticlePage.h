#pragma once

#include "CArticleReader.h"

typedef struct _xmlDoc xmlDoc;

// What the article view shows of a news item in place of the feed's text.
enum class ArticleView { Loading, Read };

// Puts the article into the item newspaper's description, which the reading styles show
// as the item's text: the extracted paragraphs, as plain text in paragraphs (nothing in
// them can load or run anything); or, while it loads or when it cannot be had, a line that
// says so above the feed's own text. False when the newspaper holds no item.
bool PutArticleIntoNewspaper(xmlDoc* newspaper, ArticleView view, const ArticleText& article);
