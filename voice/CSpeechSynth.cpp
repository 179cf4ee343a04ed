#include "CSpeechSynth.h"
