#include "DateHelpers.h"
