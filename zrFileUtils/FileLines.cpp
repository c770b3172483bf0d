#include "zrFileUtils.h"
