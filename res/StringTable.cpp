#include "StringTable.h"

QString LoadString(int)
{
    return {};
}
