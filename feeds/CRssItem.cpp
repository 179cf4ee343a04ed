#include "CRssItem.h"
