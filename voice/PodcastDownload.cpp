#include "PodcastDownload.h"
