#include "CRssGroup.h"
