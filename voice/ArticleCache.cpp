#include "ArticleCache.h"
