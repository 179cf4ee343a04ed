#include "CVoiceConverter.h"
