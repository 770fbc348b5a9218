// The driver's status codes as texts for the report.
#pragma once

#include "device/D2xx.h"

// The text of a status; "" for a code the driver does not document.
LPCSTR GetStatusText(FT_STATUS status);
