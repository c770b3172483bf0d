#include "Uninstall.h"

bool RunProgramSection(bool beforeUninstall) {
    PassOverSection(beforeUninstall ? "PreRunApp" : "RunApp");
    return true;
}
