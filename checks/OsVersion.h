// The first line of every report: the running Windows version.
#pragma once

#include "framework/String.h"

// "Operating System:   " and the version's name and build, as far as they
// are known; the label alone when the version cannot be read.
CString GetOsVersionText();
