#include "CRssChannel.h"
