// The framework in one include.
#pragma once

#include "Button.h"
#include "DataExchange.h"
#include "Dialog.h"
#include "Object.h"
#include "PaintDC.h"
#include "RichEditCtrl.h"
#include "String.h"
#include "SystemCalls.h"
#include "SystemDirectory.h"
#include "ThreadWait.h"
#include "WinApp.h"
#include "Wnd.h"
