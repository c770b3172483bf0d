#include "Uninstall.h"

void RemoveIniEntries() { PassOverSection("AddIni"); }
