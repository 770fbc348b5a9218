// The kinds of report messages, and the texts that frame a run's report.
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

// The report's texts, these and every text a check writes where it writes it,
// are kept letter for letter, spelling included ("successfull", "is occured",
// "Save Informations"): saved reports, and the people who read them, compare them.
const char SUMMARY_SUCCESS[] = "Check completed successfully!\n";
const char SUMMARY_FINISHED[] = "Check finished.\n";
// Between the parts of a run: a line feed, then two runs of 70 '-'.
const char REPORT_SEPARATOR[] = "\n"
                                "----------------------------------------------------------------------"
                                "----------------------------------------------------------------------";
// Closes a run's report, with an empty line after it.
const char REPORT_RULE[] = "======================================================================\n";
