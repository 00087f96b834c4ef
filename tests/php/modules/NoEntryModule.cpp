// A test module that exports something, but not HttpExtensionProc.
#include "php/Isapi.h"

ISAPI_EXPORT DWORD WINAPI ExtensionInfo() { return 1; }
