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
const DWORD kMaxDevices = 64;
const char kDriverSection[] = "driver";
const char kDeviceSectionPrefix[] = "device";
const size_t kFirstListSize = 4096;

struct DeviceKey
{
    LPCSTR pszKey;
    std::variant<std::string DEVICE_SCENARIO::*, WORD DEVICE_SCENARIO::*, DWORD DEVICE_SCENARIO::*,
                 bool DEVICE_SCENARIO::*>
        field;
};

const DeviceKey kDeviceKeys[] = {
    {"description", &DEVICE_SCENARIO::description},
    {"vid", &DEVICE_SCENARIO::wVendorId},
    {"pid", &DEVICE_SCENARIO::wProductId},
    {"serial", &DEVICE_SCENARIO::serialNumber},
    {"ee_description", &DEVICE_SCENARIO::eeDescription},
    {"manufacturer", &DEVICE_SCENARIO::manufacturer},
    {"manufacturer_id", &DEVICE_SCENARIO::manufacturerId},
    {"list_status", &DEVICE_SCENARIO::listStatus},
    {"open_status", &DEVICE_SCENARIO::openStatus},
    {"ee_read_status", &DEVICE_SCENARIO::eeReadStatus},
    {"notify_status", &DEVICE_SCENARIO::notifyStatus},
    {"write_status", &DEVICE_SCENARIO::writeStatus},
    {"queue_status", &DEVICE_SCENARIO::queueStatus},
    {"read_status", &DEVICE_SCENARIO::readStatus},
    {"answer", &DEVICE_SCENARIO::answer},
    {"answer_length", &DEVICE_SCENARIO::dwAnswerLength},
    {"latency_ms", &DEVICE_SCENARIO::dwLatencyMs},
    {"chunks", &DEVICE_SCENARIO::nChunks},
    {"chunk_gap_ms", &DEVICE_SCENARIO::dwChunkGapMs},
    {"silent", &DEVICE_SCENARIO::bSilent},
    {"untrusted_list_description", &DEVICE_SCENARIO::bUntrustedListDescription},
    {"untrusted_eeprom_texts", &DEVICE_SCENARIO::bUntrustedEepromTexts},
    {"read_overreport", &DEVICE_SCENARIO::dwReadOverreport},
    {"hold_event", &DEVICE_SCENARIO::holdEvent},
};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return text;
}

// Decimal or 0x-hexadecimal; a leading zero does not mean octal here.
bool ParseNumber(const std::string& text, DWORD dwMax, DWORD& dwValue)
{
    const bool bHex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = bHex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > (bHex ? 8u : 10u))
        return false;
    for (char ch : digits)
    {
        if (!(bHex ? std::isxdigit(static_cast<unsigned char>(ch)) : std::isdigit(static_cast<unsigned char>(ch))))
            return false;
    }
    const unsigned long long ullValue = std::strtoull(digits.c_str(), nullptr, bHex ? 16 : 10);
    if (ullValue > dwMax)
        return false;
    dwValue = static_cast<DWORD>(ullValue);
    return true;
}

bool ParseSwitch(const std::string& text, bool& bOn)
{
    const std::string lower = Lower(text);
    if (lower == "1" || lower == "true" || lower == "yes" || lower == "on")
        bOn = true;
    else if (lower == "0" || lower == "false" || lower == "no" || lower == "off")
        bOn = false;
    else
        return false;
    return true;
}

// Decodes \r \n \t \0 \\ \" and \xNN; false with a reason for anything else.
bool DecodeEscapes(const std::string& in, std::string& out, std::string& fault)
{
    std::string decoded;
    for (size_t i = 0; i < in.size(); ++i)
    {
        if (in[i] != '\\')
        {
            decoded += in[i];
            continue;
        }
        if (++i == in.size())
        {
            fault = "a lone backslash ends '" + in + "'";
            return false;
        }
        switch (in[i])
        {
        case 'r':
            decoded += '\r';
            break;
        case 'n':
            decoded += '\n';
            break;
        case 't':
            decoded += '\t';
            break;
        case '0':
            decoded += '\0';
            break;
        case '\\':
            decoded += '\\';
            break;
        case '"':
            decoded += '"';
            break;
        case 'x':
            if (i + 2 < in.size() && std::isxdigit(static_cast<unsigned char>(in[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(in[i + 2])))
            {
                decoded += static_cast<char>(std::strtoul(in.substr(i + 1, 2).c_str(), nullptr, 16));
                i += 2;
                break;
            }
            fault = "\\x needs two hex digits in '" + in + "'";
            return false;
        default:
            fault = std::string("unknown escape \\") + in[i] + " in '" + in + "'";
            return false;
        }
    }
    out = decoded;
    return true;
}

bool SetDeviceKey(DEVICE_SCENARIO& device, const DeviceKey& key, const std::string& value, std::string& fault)
{
    return std::visit(
        [&](auto pMember) -> bool {
            using Value = std::remove_reference_t<decltype(device.*pMember)>;
            if constexpr (std::is_same_v<Value, std::string>)
            {
                return DecodeEscapes(value, device.*pMember, fault);
            }
            else if constexpr (std::is_same_v<Value, bool>)
            {
                if (ParseSwitch(value, device.*pMember))
                    return true;
                fault = "'" + value + "' is not 0/1/true/false/yes/no/on/off";
                return false;
            }
            else
            {
                DWORD dwValue = 0;
                if (!ParseNumber(value, std::numeric_limits<Value>::max(), dwValue))
                {
                    fault = "'" + value + "' is not a number that fits";
                    return false;
                }
                device.*pMember = static_cast<Value>(dwValue);
                return true;
            }
        },
        key.field);
}

// "device" followed by decimal digits only, below the device limit.
bool ParseDeviceSection(const std::string& name, DWORD& nIndex)
{
    const size_t nPrefix = sizeof(kDeviceSectionPrefix) - 1;
    if (name.compare(0, nPrefix, kDeviceSectionPrefix) != 0 || name.size() == nPrefix)
        return false;
    const std::string digits = name.substr(nPrefix);
    if (!std::all_of(digits.begin(), digits.end(), [](unsigned char ch) { return std::isdigit(ch) != 0; }))
        return false;
    return ParseNumber(digits, kMaxDevices - 1, nIndex);
}

std::string IdentityAnswer(const DEVICE_SCENARIO& device)
{
    return device.manufacturer + "," + kModelField + "," + device.serialNumber + "," + kFirmwareField + "\r\n";
}

std::string SerialFor(unsigned nIndex)
{
    const std::string number = std::to_string(nIndex + 1);
    return "SIM" + std::string(number.size() < 5 ? 5 - number.size() : 0, '0') + number;
}

// A list the profile functions write as "a\0b\0\0". They tell that it was cut
// only by returning two less than the buffer's size, so the buffer grows
// until the list fits.
template <typename ReadList>
std::vector<std::string> ReadProfileList(ReadList readList)
{
    std::vector<char> buffer(kFirstListSize);
    DWORD dwLength = 0;
    while ((dwLength = readList(buffer.data(), static_cast<DWORD>(buffer.size()))) + 2 >= buffer.size())
        buffer.resize(buffer.size() * 2);
    std::vector<std::string> entries;
    for (size_t nAt = 0; nAt < dwLength; nAt += entries.back().size() + 1)
        entries.emplace_back(&buffer[nAt]);
    return entries;
}

// The names as the file has them, without the brackets and the blanks inside.
std::vector<std::string> SectionNames(const std::string& path)
{
    return ReadProfileList(
        [&](char* pszBuffer, DWORD dwSize) { return GetPrivateProfileSectionNamesA(pszBuffer, dwSize, path.c_str()); });
}

// Each line of the section, comments and blank lines left out, the blanks
// around the key and the value taken off: "key=value", or the line as it is
// where it has no '='. Of two sections with one name, only the first.
std::vector<std::string> SectionEntries(const std::string& path, const std::string& section)
{
    return ReadProfileList([&](char* pszBuffer, DWORD dwSize) {
        return GetPrivateProfileSectionA(section.c_str(), pszBuffer, dwSize, path.c_str());
    });
}

// What the sections read so far have set.
struct ReadState
{
    SCENARIO scenario; // its devices: one per index up to the highest section
    bool bCountSet = false;
    std::vector<std::set<std::string>> keysSet; // per device, the keys its section set
};

// One entry of a section: the key case-blind; a value in double quotes keeps
// the blanks inside them. A line that starts with '[' but has no ']' comes as
// an entry of the section before it.
bool SplitEntry(const std::string& entry, std::string& key, std::string& value, std::string& fault)
{
    if (!entry.empty() && entry[0] == '[')
    {
        fault = "'" + entry + "' is a section header without ']'";
        return false;
    }
    const size_t nEquals = entry.find('=');
    if (nEquals == std::string::npos)
    {
        fault = "'" + entry + "' is not key = value";
        return false;
    }
    key = Lower(entry.substr(0, nEquals));
    value = entry.substr(nEquals + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return true;
}

bool ReadDriverKey(const std::string& key, const std::string& value, ReadState& state, std::string& fault)
{
    if (key != "count" && key != "count_status")
    {
        fault = "unknown key";
        return false;
    }
    DWORD dwValue = 0;
    if (!ParseNumber(value, MAXDWORD, dwValue))
    {
        fault = "'" + value + "' is not a number that fits";
        return false;
    }
    if (key == "count")
    {
        state.scenario.nCount = dwValue;
        state.bCountSet = true;
    }
    else
    {
        state.scenario.countStatus = dwValue;
    }
    return true;
}

bool ReadDeviceKey(DWORD nDevice, const std::string& key, const std::string& value, ReadState& state,
                   std::string& fault)
{
    const DeviceKey* pKey = std::find_if(std::begin(kDeviceKeys), std::end(kDeviceKeys),
                                         [&](const DeviceKey& known) { return key == known.pszKey; });
    if (pKey == std::end(kDeviceKeys))
    {
        fault = "unknown key";
        return false;
    }
    if (!SetDeviceKey(state.scenario.devices[nDevice], *pKey, value, fault))
        return false;
    state.keysSet[nDevice].insert(key);
    return true;
}

// [deviceN]: the devices up to N exist from here on, with their defaults.
void AddDevicesUpTo(DWORD nIndex, ReadState& state)
{
    std::vector<DEVICE_SCENARIO>& devices = state.scenario.devices;
    while (devices.size() <= nIndex)
    {
        devices.push_back(DefaultDevice(static_cast<unsigned>(devices.size())));
        state.keysSet.emplace_back();
    }
}

// The sections in the file's order, their entries in theirs: a key given
// twice takes its later value. where names the section or key at fault.
bool ReadSections(const std::string& path, ReadState& state, std::string& where, std::string& fault)
{
    // What precedes the first header reads, under Wine, as a section with no
    // name, which the list of names leaves out: only comments may stand there.
    for (const std::string& entry : SectionEntries(path, std::string()))
    {
        std::string key, value;
        if (SplitEntry(entry, key, value, fault))
            fault = "key '" + key + "' outside any section";
        return false;
    }
    std::set<std::string> seen;
    for (const std::string& name : SectionNames(path))
    {
        const std::string lower = Lower(name);
        DWORD nDevice = 0;
        const bool bDevice = ParseDeviceSection(lower, nDevice);
        where = "[" + name + "]";
        // The profile functions give a repeated name the first section's
        // entries: the second one's would be lost unseen.
        if (!seen.insert(lower).second)
        {
            fault = "repeats an earlier section (names are case-blind)";
            return false;
        }
        if (!bDevice && lower != kDriverSection)
        {
            fault = "unknown section (want [driver] or [device0]..[device" + std::to_string(kMaxDevices - 1) + "])";
            return false;
        }
        if (bDevice)
            AddDevicesUpTo(nDevice, state);
        for (const std::string& entry : SectionEntries(path, name))
        {
            std::string key, value;
            where = "[" + name + "]";
            if (!SplitEntry(entry, key, value, fault))
                return false;
            where += " " + key;
            if (!(bDevice ? ReadDeviceKey(nDevice, key, value, state, fault) : ReadDriverKey(key, value, state, fault)))
                return false;
        }
    }
    return true;
}

// Texts derived from others follow the keys that were set, not the defaults.
// Without device sections there is the default device; without a count, the
// devices are counted.
SCENARIO CompleteScenario(ReadState& state)
{
    std::vector<DEVICE_SCENARIO>& devices = state.scenario.devices;
    for (size_t nIndex = 0; nIndex < devices.size(); ++nIndex)
    {
        DEVICE_SCENARIO& device = devices[nIndex];
        if (!state.keysSet[nIndex].count("ee_description"))
            device.eeDescription = device.description;
        if (!state.keysSet[nIndex].count("answer"))
            device.answer = IdentityAnswer(device);
    }
    if (devices.empty())
        devices.push_back(DefaultDevice(0));
    if (!state.bCountSet)
        state.scenario.nCount = static_cast<DWORD>(devices.size());
    return state.scenario;
}

// The profile functions look for a name without a folder in the Windows
// directory: the scenario is named to them by its full path.
std::string FullPath(const char* pszPath)
{
    const DWORD dwSize = GetFullPathNameA(pszPath, 0, nullptr, nullptr);
    std::string path(dwSize, '\0');
    const DWORD dwLength = dwSize > 0 ? GetFullPathNameA(pszPath, dwSize, &path[0], nullptr) : 0;
    path.resize(dwLength < dwSize ? dwLength : 0);
    return path;
}
} // namespace

std::string SizedAnswer(const DEVICE_SCENARIO& device)
{
    if (device.dwAnswerLength == 0)
        return device.answer;
    if (device.answer.empty())
        return std::string(device.dwAnswerLength, '\0');
    std::string sized;
    sized.reserve(device.dwAnswerLength);
    while (sized.size() < device.dwAnswerLength)
        sized.append(device.answer, 0, std::min<size_t>(device.answer.size(), device.dwAnswerLength - sized.size()));
    return sized;
}

DEVICE_SCENARIO DefaultDevice(unsigned nIndex)
{
    DEVICE_SCENARIO device;
    device.description = kDefaultDescription;
    device.wVendorId = kDefaultVendorId;
    device.wProductId = kDefaultProductId;
    device.serialNumber = SerialFor(nIndex);
    device.eeDescription = kDefaultDescription;
    device.manufacturer = kDefaultManufacturer;
    device.manufacturerId = kDefaultManufacturerId;
    device.answer = IdentityAnswer(device);
    device.dwLatencyMs = kDefaultLatencyMs;
    return device;
}

SCENARIO DefaultScenario()
{
    SCENARIO scenario;
    scenario.devices.push_back(DefaultDevice(0));
    scenario.nCount = 1;
    return scenario;
}

bool LoadScenarioFile(const char* pszPath, SCENARIO& scenario, std::string& error)
{
    // The profile functions read a file they cannot open as an empty one.
    const std::string path = FullPath(pszPath);
    const HANDLE hFile = path.empty() ? INVALID_HANDLE_VALUE
                                      : CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        error = std::string("cannot open scenario '") + pszPath + "' (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    CloseHandle(hFile);

    ReadState state;
    std::string where, fault;
    if (!ReadSections(path, state, where, fault))
    {
        error = std::string("scenario '") + pszPath + "'" + (where.empty() ? "" : " " + where) + ": " + fault;
        return false;
    }
    scenario = CompleteScenario(state);
    return true;
}
