#include "OpmlFile.h"
