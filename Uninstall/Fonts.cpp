#include "Uninstall.h"

void RemoveFonts() { PassOverSection("RegFonts"); }
