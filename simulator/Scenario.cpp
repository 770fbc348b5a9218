#include "simulator/Scenario.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <set>
#include <variant>

namespace
{
const char kDefaultDescription[] = "USB Measurement Instrument";
const char kDefaultManufacturer[] = "Simulated Instruments";
const char kDefaultManufacturerId[] = "SI";
const char kModelField[] = "USB-SIM 1";
const char kFirmwareField[] = "1.0";
const WORD kDefaultVendorId = 0x0403;
const WORD kDefaultProductId = 0xB7E4;
const DWORD kDefaultLatencyMs = 3;
const unsigned kMaxDevices = 64;
const char kDeviceSectionPrefix[] = "device";

using TDeviceField = std::variant<std::string CDeviceScenario::*, WORD CDeviceScenario::*, DWORD CDeviceScenario::*,
                                  bool CDeviceScenario::*>;

struct SDeviceKey
{
    const char* pszKey;
    TDeviceField field;
};

const SDeviceKey kDeviceKeys[] = {
    {"description", &CDeviceScenario::strDescription},
    {"vid", &CDeviceScenario::wVendorId},
    {"pid", &CDeviceScenario::wProductId},
    {"serial", &CDeviceScenario::strSerial},
    {"ee_description", &CDeviceScenario::strEeDescription},
    {"manufacturer", &CDeviceScenario::strManufacturer},
    {"manufacturer_id", &CDeviceScenario::strManufacturerId},
    {"list_status", &CDeviceScenario::nListStatus},
    {"open_status", &CDeviceScenario::nOpenStatus},
    {"ee_read_status", &CDeviceScenario::nEeReadStatus},
    {"notify_status", &CDeviceScenario::nNotifyStatus},
    {"write_status", &CDeviceScenario::nWriteStatus},
    {"queue_status", &CDeviceScenario::nQueueStatus},
    {"read_status", &CDeviceScenario::nReadStatus},
    {"answer", &CDeviceScenario::strAnswer},
    {"answer_length", &CDeviceScenario::dwAnswerLength},
    {"latency_ms", &CDeviceScenario::dwLatencyMs},
    {"chunks", &CDeviceScenario::dwChunks},
    {"chunk_gap_ms", &CDeviceScenario::dwChunkGapMs},
    {"silent", &CDeviceScenario::bSilent},
    {"untrusted_list_description", &CDeviceScenario::bUntrustedListDescription},
    {"untrusted_eeprom_texts", &CDeviceScenario::bUntrustedEepromTexts},
    {"read_overreport", &CDeviceScenario::dwReadOverreport},
    {"hold_event", &CDeviceScenario::strHoldEvent},
};

std::string Trim(const std::string& str)
{
    const char* pszSpace = " \t\r\n";
    size_t nFirst = str.find_first_not_of(pszSpace);
    if (nFirst == std::string::npos)
        return std::string();
    size_t nLast = str.find_last_not_of(pszSpace);
    return str.substr(nFirst, nLast - nFirst + 1);
}

std::string Lower(std::string str)
{
    std::transform(str.begin(), str.end(), str.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return str;
}

// Decimal or 0x-hexadecimal; a leading zero does not mean octal here.
bool ParseNumber(const std::string& str, unsigned long ulMax, unsigned long& rul)
{
    bool bHex = str.size() > 2 && str[0] == '0' && (str[1] == 'x' || str[1] == 'X');
    std::string strDigits = bHex ? str.substr(2) : str;
    if (strDigits.empty())
        return false;
    for (char ch : strDigits)
    {
        if (!(bHex ? std::isxdigit(static_cast<unsigned char>(ch)) : std::isdigit(static_cast<unsigned char>(ch))))
            return false;
    }
    if (strDigits.size() > (bHex ? 8u : 10u))
        return false;
    unsigned long long ull = std::strtoull(strDigits.c_str(), nullptr, bHex ? 16 : 10);
    if (ull > ulMax)
        return false;
    rul = static_cast<unsigned long>(ull);
    return true;
}

bool ParseBool(const std::string& str, bool& rb)
{
    std::string strLower = Lower(str);
    if (strLower == "1" || strLower == "true" || strLower == "yes" || strLower == "on")
        rb = true;
    else if (strLower == "0" || strLower == "false" || strLower == "no" || strLower == "off")
        rb = false;
    else
        return false;
    return true;
}

bool SetDeviceKey(CDeviceScenario& rDevice, const TDeviceField& field, const std::string& strValue,
                  std::string& rstrError)
{
    return std::visit(
        [&](auto pMember) -> bool {
            using TValue = std::remove_reference_t<decltype(rDevice.*pMember)>;
            if constexpr (std::is_same_v<TValue, std::string>)
            {
                return DecodeEscapes(strValue, rDevice.*pMember, rstrError);
            }
            else if constexpr (std::is_same_v<TValue, bool>)
            {
                if (ParseBool(strValue, rDevice.*pMember))
                    return true;
                rstrError = "'" + strValue + "' is not 0/1/true/false/yes/no";
                return false;
            }
            else
            {
                unsigned long ul = 0;
                if (!ParseNumber(strValue, std::numeric_limits<TValue>::max(), ul))
                {
                    rstrError = "'" + strValue + "' is not a number that fits";
                    return false;
                }
                rDevice.*pMember = static_cast<TValue>(ul);
                return true;
            }
        },
        field);
}

// "device" followed by decimal digits only, below the device limit.
bool ParseDeviceSection(const std::string& strName, unsigned long& rulIndex)
{
    const size_t nPrefix = sizeof(kDeviceSectionPrefix) - 1;
    if (strName.compare(0, nPrefix, kDeviceSectionPrefix) != 0 || strName.size() == nPrefix)
        return false;
    std::string strDigits = strName.substr(nPrefix);
    if (!std::all_of(strDigits.begin(), strDigits.end(), [](unsigned char ch) { return std::isdigit(ch) != 0; }))
        return false;
    return ParseNumber(strDigits, kMaxDevices - 1, rulIndex);
}

std::string IdentityAnswer(const CDeviceScenario& device)
{
    return device.strManufacturer + "," + kModelField + "," + device.strSerial + "," + kFirmwareField + "\r\n";
}

std::string SerialFor(unsigned nIndex)
{
    std::string strNumber = std::to_string(nIndex + 1);
    return "SIM" + std::string(strNumber.size() < 5 ? 5 - strNumber.size() : 0, '0') + strNumber;
}

bool ReadWholeFile(const char* pszPath, std::string& rstrText, std::string& rstrError)
{
    HANDLE hFile = CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        rstrError =
            std::string("cannot open scenario '") + pszPath + "' (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    rstrText.clear();
    char achBuffer[4096];
    DWORD dwRead = 0;
    bool bOk = true;
    while ((bOk = ReadFile(hFile, achBuffer, sizeof(achBuffer), &dwRead, nullptr) != FALSE) && dwRead > 0)
        rstrText.append(achBuffer, dwRead);
    if (!bOk)
        rstrError =
            std::string("cannot read scenario '") + pszPath + "' (error " + std::to_string(GetLastError()) + ")";
    CloseHandle(hFile);
    return bOk;
}
} // namespace

std::string CDeviceScenario::SizedAnswer() const
{
    if (dwAnswerLength == 0)
        return strAnswer;
    if (strAnswer.empty())
        return std::string(dwAnswerLength, '\0');
    std::string strSized;
    strSized.reserve(dwAnswerLength);
    while (strSized.size() < dwAnswerLength)
        strSized.append(strAnswer, 0, std::min<size_t>(strAnswer.size(), dwAnswerLength - strSized.size()));
    return strSized;
}

CDeviceScenario DefaultDevice(unsigned nIndex)
{
    CDeviceScenario device;
    device.strDescription = kDefaultDescription;
    device.wVendorId = kDefaultVendorId;
    device.wProductId = kDefaultProductId;
    device.strSerial = SerialFor(nIndex);
    device.strEeDescription = kDefaultDescription;
    device.strManufacturer = kDefaultManufacturer;
    device.strManufacturerId = kDefaultManufacturerId;
    device.strAnswer = IdentityAnswer(device);
    device.dwLatencyMs = kDefaultLatencyMs;
    return device;
}

CScenario DefaultScenario()
{
    CScenario scenario;
    scenario.devices.push_back(DefaultDevice(0));
    scenario.dwCount = 1;
    return scenario;
}

bool DecodeEscapes(const std::string& strIn, std::string& rstrOut, std::string& rstrError)
{
    std::string strOut;
    for (size_t i = 0; i < strIn.size(); ++i)
    {
        if (strIn[i] != '\\')
        {
            strOut += strIn[i];
            continue;
        }
        if (++i == strIn.size())
        {
            rstrError = "a lone backslash ends '" + strIn + "'";
            return false;
        }
        switch (strIn[i])
        {
        case 'r':
            strOut += '\r';
            break;
        case 'n':
            strOut += '\n';
            break;
        case 't':
            strOut += '\t';
            break;
        case '0':
            strOut += '\0';
            break;
        case '\\':
            strOut += '\\';
            break;
        case '"':
            strOut += '"';
            break;
        case 'x':
            if (i + 2 < strIn.size() && std::isxdigit(static_cast<unsigned char>(strIn[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(strIn[i + 2])))
            {
                strOut += static_cast<char>(std::strtoul(strIn.substr(i + 1, 2).c_str(), nullptr, 16));
                i += 2;
                break;
            }
            rstrError = "\\x needs two hex digits in '" + strIn + "'";
            return false;
        default:
            rstrError = std::string("unknown escape \\") + strIn[i] + " in '" + strIn + "'";
            return false;
        }
    }
    rstrOut = strOut;
    return true;
}

namespace
{
enum class ESection
{
    None,
    Driver,
    Device
};

// What the lines read so far have set, and the section they are in.
struct SParseState
{
    ESection eSection = ESection::None;
    unsigned nDevice = 0;
    bool bCountSet = false;
    CScenario scenario;                         // its devices: one per index up to the highest section
    std::vector<std::set<std::string>> keysSet; // per device, the keys its section set
};

// [deviceN]: the devices up to N exist from here on, with their defaults.
void OpenDeviceSection(unsigned nIndex, SParseState& rState)
{
    rState.eSection = ESection::Device;
    rState.nDevice = nIndex;
    std::vector<CDeviceScenario>& rDevices = rState.scenario.devices;
    while (rDevices.size() <= nIndex)
    {
        rDevices.push_back(DefaultDevice(static_cast<unsigned>(rDevices.size())));
        rState.keysSet.emplace_back();
    }
}

// [driver] or [deviceN], case-blind, blanks inside the brackets allowed.
bool ParseSectionHeader(const std::string& strLine, SParseState& rState, std::string& rstrFault)
{
    if (strLine.back() != ']')
    {
        rstrFault = "section header without ']'";
        return false;
    }
    const std::string strName = Lower(Trim(strLine.substr(1, strLine.size() - 2)));
    unsigned long ulIndex = 0;
    if (strName == "driver")
    {
        rState.eSection = ESection::Driver;
        return true;
    }
    if (ParseDeviceSection(strName, ulIndex))
    {
        OpenDeviceSection(static_cast<unsigned>(ulIndex), rState);
        return true;
    }
    rstrFault = "unknown section [" + strName + "] (want [driver] or [device0]..[device" +
                std::to_string(kMaxDevices - 1) + "])";
    return false;
}

// "key = value": the key case-blind, the value without the blanks around it.
bool SplitKeyLine(const std::string& strLine, std::string& rstrKey, std::string& rstrValue)
{
    const size_t nEquals = strLine.find('=');
    if (nEquals == std::string::npos)
        return false;
    rstrKey = Lower(Trim(strLine.substr(0, nEquals)));
    rstrValue = Trim(strLine.substr(nEquals + 1));
    // Quotes keep leading and trailing blanks of a text.
    if (rstrValue.size() >= 2 && rstrValue.front() == '"' && rstrValue.back() == '"')
        rstrValue = rstrValue.substr(1, rstrValue.size() - 2);
    return true;
}

bool ParseDriverKey(const std::string& strKey, const std::string& strValue, SParseState& rState, std::string& rstrFault)
{
    if (strKey != "count" && strKey != "count_status")
    {
        rstrFault = "unknown key '" + strKey + "' in [driver]";
        return false;
    }
    unsigned long ul = 0;
    if (!ParseNumber(strValue, 0xFFFFFFFFul, ul))
    {
        rstrFault = "'" + strValue + "' is not a number that fits";
        return false;
    }
    if (strKey == "count")
    {
        rState.scenario.dwCount = ul;
        rState.bCountSet = true;
    }
    else
    {
        rState.scenario.nCountStatus = ul;
    }
    return true;
}

bool ParseDeviceKey(const std::string& strKey, const std::string& strValue, SParseState& rState, std::string& rstrFault)
{
    const SDeviceKey* pKey = std::find_if(std::begin(kDeviceKeys), std::end(kDeviceKeys),
                                          [&](const SDeviceKey& key) { return strKey == key.pszKey; });
    if (pKey == std::end(kDeviceKeys))
    {
        rstrFault = "unknown key '" + strKey + "' in [device" + std::to_string(rState.nDevice) + "]";
        return false;
    }
    if (!SetDeviceKey(rState.scenario.devices[rState.nDevice], pKey->field, strValue, rstrFault))
        return false;
    rState.keysSet[rState.nDevice].insert(strKey);
    return true;
}

// Texts derived from others follow the keys that were set, not the defaults.
// Without device sections there is the default device; without a count, the
// devices are counted.
CScenario CompleteScenario(SParseState& rState)
{
    std::vector<CDeviceScenario>& rDevices = rState.scenario.devices;
    for (size_t nIndex = 0; nIndex < rDevices.size(); ++nIndex)
    {
        CDeviceScenario& rDevice = rDevices[nIndex];
        if (!rState.keysSet[nIndex].count("ee_description"))
            rDevice.strEeDescription = rDevice.strDescription;
        if (!rState.keysSet[nIndex].count("answer"))
            rDevice.strAnswer = IdentityAnswer(rDevice);
    }
    if (rDevices.empty())
        rDevices.push_back(DefaultDevice(0));
    if (!rState.bCountSet)
        rState.scenario.dwCount = static_cast<DWORD>(rDevices.size());
    return rState.scenario;
}
} // namespace

bool ParseScenario(const std::string& strText, CScenario& rScenario, std::string& rstrError)
{
    SParseState state;
    size_t nStart = 0;
    for (unsigned nLine = 1; nStart <= strText.size(); ++nLine)
    {
        size_t nEnd = strText.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = strText.size();
        const std::string strLine = Trim(strText.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;

        // Comments are whole lines only: an answer may well contain ';'.
        if (strLine.empty() || strLine[0] == ';' || strLine[0] == '#')
            continue;

        std::string strKey, strValue, strFault;
        bool bParsed = false;
        if (strLine[0] == '[')
            bParsed = ParseSectionHeader(strLine, state, strFault);
        else if (!SplitKeyLine(strLine, strKey, strValue))
            strFault = "expected key = value";
        else if (state.eSection == ESection::Driver)
            bParsed = ParseDriverKey(strKey, strValue, state, strFault);
        else if (state.eSection == ESection::Device)
            bParsed = ParseDeviceKey(strKey, strValue, state, strFault);
        else
            strFault = "key '" + strKey + "' outside any section";
        if (!bParsed)
        {
            rstrError = "line " + std::to_string(nLine) + ": " + strFault;
            return false;
        }
    }
    rScenario = CompleteScenario(state);
    return true;
}

bool LoadScenarioFile(const char* pszPath, CScenario& rScenario, std::string& rstrError)
{
    std::string strText;
    if (!ReadWholeFile(pszPath, strText, rstrError))
        return false;
    if (ParseScenario(strText, rScenario, rstrError))
        return true;
    rstrError = std::string("scenario '") + pszPath + "' " + rstrError;
    return false;
}
