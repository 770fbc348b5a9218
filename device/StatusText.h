// The driver's status codes as texts for the report.
#pragma once

#include "device/D2xx.h"
#include "framework/String.h"

// The text of a status; for a code outside the table, its number.
CString GetStatusText(FT_STATUS status);
