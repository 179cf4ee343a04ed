#include "CMp3Encoder.h"
