#include "FeedFetcher.h"
