#include "NewsComparator.h"
