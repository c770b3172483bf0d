#include "Uninstall.h"

// SharedFiles is not counted: until its processor is built, every shared
// file is treated like any other installed file.
void ReleaseSharedFiles() {}
