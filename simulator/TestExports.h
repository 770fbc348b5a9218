// The simulated driver's two exports of its own, for tests and benchmarks
// that bind them by name beside the eight driver entry points.
#pragma once

#include "device/D2xx.h"

// The performance-counter values taken when the last FT_Write was about to
// return and when the first chunk of its answer was signalled (0 until then).
typedef FT_STATUS(WINAPI* PFN_SIM_GetLastTimings)(LONGLONG* pllWriteReturned, LONGLONG* pllFirstSignal);
// Why the scenario file was refused, "" when it was not; returns the length.
typedef DWORD(WINAPI* PFN_SIM_GetScenarioError)(char* pszBuffer, DWORD dwSize);
