#pragma once

#include <QString>

// The program's numbered strings (messages, prompts, tool tips, captions). An unknown
// number gives an empty string.
QString LoadString(int id);
