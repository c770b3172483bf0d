#include "zrIniFile.h"
