#include "FolderHelpers.h"
