#include "Newspaper.h"
