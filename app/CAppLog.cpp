#include "CAppLog.h"
