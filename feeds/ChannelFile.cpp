#include "ChannelFile.h"
