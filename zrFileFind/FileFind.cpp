#include "zrFileFind.h"
