#include "zrStrUtils.h"
