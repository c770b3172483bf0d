#include "Uninstall.h"

void RemoveRegistryEntries() {
    PassOverSection("AddReg");
    PassOverSection("CreateKeys");
}
