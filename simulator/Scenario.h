// What the simulated driver pretends to see: the scenario file named by
// USBSIM_SCENARIO, read into one record for the driver and one per device.
#pragma once

#include "device/D2xx.h"

#include <string>
#include <vector>

// One simulated instrument. Every field holds its default until a key of the
// device's [deviceN] section sets it.
struct DEVICE_SCENARIO
{
    std::string description; // listing-by-index text, and what FT_OpenEx matches
    WORD wVendorId = 0;
    WORD wProductId = 0;
    std::string serialNumber;
    std::string eeDescription;
    std::string manufacturer;
    std::string manufacturerId;

    FT_STATUS listStatus = FT_OK;
    FT_STATUS openStatus = FT_OK;
    FT_STATUS eeReadStatus = FT_OK;
    FT_STATUS notifyStatus = FT_OK;
    FT_STATUS writeStatus = FT_OK;
    FT_STATUS queueStatus = FT_OK;
    FT_STATUS readStatus = FT_OK;

    std::string answer;       // the pattern; SizedAnswer gives the bytes sent
    DWORD dwAnswerLength = 0; // 0: the pattern as it is
    DWORD dwLatencyMs = 0;
    DWORD nChunks = 1;
    DWORD dwChunkGapMs = 0;
    bool bSilent = false;

    bool bUntrustedListDescription = false;
    bool bUntrustedEepromTexts = false;
    DWORD dwReadOverreport = 0;

    // FT_OpenEx of this device waits until the event of this name is set.
    std::string holdEvent;
};

struct SCENARIO
{
    DWORD nCount = 0; // what the counting call reports
    FT_STATUS countStatus = FT_OK;
    std::vector<DEVICE_SCENARIO> devices;
};

// The device a scenario gets where it names none: index 0 is the default
// instrument, higher indices differ only in their serial number.
DEVICE_SCENARIO DefaultDevice(unsigned nIndex);

// The scenario of one healthy default instrument.
SCENARIO DefaultScenario();

// The bytes a device sends for one request: its answer repeated or cut to
// its answer length.
std::string SizedAnswer(const DEVICE_SCENARIO& device);

// Reads the scenario file at pszPath. On failure error holds one line naming
// the file, the section or entry at fault, and the fault; scenario is then
// left unspecified.
bool LoadScenarioFile(const char* pszPath, SCENARIO& scenario, std::string& error);
