#include "Uninstall.h"

void RemoveEnvVars() { PassOverSection("EnvVars"); }
