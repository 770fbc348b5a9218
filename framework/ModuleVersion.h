// The file version that a loaded module's version resource gives.
#pragma once

#include "String.h"

// 0 with "2.12.36.4" from the module's own version resource, or the reason
// it has none: 1812 for a module without resources, 1813 for one without a
// version resource, 13 for one that is no version record.
DWORD QueryModuleFileVersion(HMODULE hModule, CString& version);
