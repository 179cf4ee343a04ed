#include "FeedParser.h"
