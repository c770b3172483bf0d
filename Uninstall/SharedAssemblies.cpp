#include "Uninstall.h"

void RemoveSharedAssemblies() { PassOverSection("SharedAssemblies"); }
