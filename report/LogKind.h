// The kinds of report messages and the record of a check's result.
#pragma once

#include <windows.h>

// Only the low 8 bits of a kind count, wherever it travels in a wider value.
enum LogKind : BYTE
{
    LOG_TEXT = 1,
    LOG_HEADING = 2,
    LOG_DETAIL = 3,
    LOG_RESULT_OK = 0x11,
    LOG_RESULT_WARNING = 0x12,
    LOG_RESULT_ERROR = 0x13,
    LOG_DETAIL_ALERT = 0x80,
    LOG_ERROR = 0x81,
};

// The code that ends a check run; never looked up as a system error.
const DWORD RESULT_END_OF_RUN = 0x20000000;

struct ResultRecord
{
    DWORD dwCode;
    LPCSTR pszText;
    UINT nKind;
};
