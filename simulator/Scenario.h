// What the simulated driver pretends to see: the scenario file named by
// USBSIM_SCENARIO, parsed into one record for the driver and one per device.
#pragma once

#include "device/D2xx.h"

#include <string>
#include <vector>

// One simulated instrument. Every field holds its default until a key of the
// device's [deviceN] section sets it.
struct CDeviceScenario
{
    std::string strDescription; // listing-by-index text, and what FT_OpenEx matches
    WORD wVendorId = 0;
    WORD wProductId = 0;
    std::string strSerial;
    std::string strEeDescription;
    std::string strManufacturer;
    std::string strManufacturerId;

    FT_STATUS nListStatus = FT_OK;
    FT_STATUS nOpenStatus = FT_OK;
    FT_STATUS nEeReadStatus = FT_OK;
    FT_STATUS nNotifyStatus = FT_OK;
    FT_STATUS nWriteStatus = FT_OK;
    FT_STATUS nQueueStatus = FT_OK;
    FT_STATUS nReadStatus = FT_OK;

    std::string strAnswer;    // the pattern; SizedAnswer() gives the bytes sent
    DWORD dwAnswerLength = 0; // 0: the pattern as it is
    DWORD dwLatencyMs = 0;
    DWORD dwChunks = 1;
    DWORD dwChunkGapMs = 0;
    bool bSilent = false;

    bool bUntrustedListDescription = false;
    bool bUntrustedEepromTexts = false;
    DWORD dwReadOverreport = 0;

    // FT_OpenEx of this device waits until the event of this name is set.
    std::string strHoldEvent;

    std::string SizedAnswer() const;
};

struct CScenario
{
    DWORD dwCount = 0; // what the counting call reports
    FT_STATUS nCountStatus = FT_OK;
    std::vector<CDeviceScenario> devices;
};

// The device a scenario gets where it names none: index 0 is the default
// instrument, higher indices differ only in their serial number.
CDeviceScenario DefaultDevice(unsigned nIndex);

// The scenario of one healthy default instrument.
CScenario DefaultScenario();

// Parses scenario text. On failure rstrError holds one line naming the line
// number and the fault, and rScenario is left unspecified.
bool ParseScenario(const std::string& strText, CScenario& rScenario, std::string& rstrError);

// Reads and parses the file at pszPath.
bool LoadScenarioFile(const char* pszPath, CScenario& rScenario, std::string& rstrError);

// Decodes \r \n \t \0 \\ \" and \xNN; false with a reason for anything else.
bool DecodeEscapes(const std::string& strIn, std::string& rstrOut, std::string& rstrError);
