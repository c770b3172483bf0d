#include "Uninstall.h"

void UnregisterServers() { PassOverSection("RegServers"); }
