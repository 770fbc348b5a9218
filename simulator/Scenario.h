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

    std::string answer;       // the bytes sent for one request, once read
    DWORD dwAnswerLength = 0; // the answer repeated or cut to this length; 0: as it is
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

// Reads the scenario file at path, given in full; an empty path gives one
// healthy default instrument. A section or key that the reader does not know
// (a typo) refuses the file: error then names the file, the section or key,
// and scenario is left unspecified.
bool LoadScenario(const std::string& path, SCENARIO& scenario, std::string& error);
