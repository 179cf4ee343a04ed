#include "CodePages.h"
