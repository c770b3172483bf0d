#include "zrRegIni.h"
