#include "CPerlWrap.h"
