#include "simulator/Scenario.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>
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
const std::string kEscapeNames = "rnt0\\\"";
const char kEscapedBytes[] = "\r\n\t\0\\\"";

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
DWORD Number(const std::string& text)
{
    return std::strtoul(text.c_str(), nullptr, Lower(text).compare(0, 2, "0x") == 0 ? 16 : 10);
}

// Decodes \r \n \t \0 \\ \" and \xNN; any other backslash stands as it is.
std::string Unescaped(const std::string& in)
{
    std::string out;
    for (size_t i = 0; i < in.size(); ++i)
    {
        const size_t nEscape = in[i] == '\\' && i + 1 < in.size() ? kEscapeNames.find(in[i + 1]) : std::string::npos;
        if (nEscape != std::string::npos)
        {
            out += kEscapedBytes[nEscape];
            ++i;
        }
        else if (in.compare(i, 2, "\\x") == 0 && i + 3 < in.size() &&
                 std::isxdigit(static_cast<unsigned char>(in[i + 2])) &&
                 std::isxdigit(static_cast<unsigned char>(in[i + 3])))
        {
            out += static_cast<char>(std::strtoul(in.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        }
        else
        {
            out += in[i];
        }
    }
    return out;
}

// "device" followed by decimal digits only, below the device limit.
bool ParseDeviceSection(const std::string& name, DWORD& nIndex)
{
    const size_t nPrefix = sizeof(kDeviceSectionPrefix) - 1;
    const std::string digits = name.substr(std::min(nPrefix, name.size()));
    if (name.compare(0, nPrefix, kDeviceSectionPrefix) != 0 || digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char ch) { return std::isdigit(ch) != 0; }))
        return false;
    nIndex = Number(digits);
    return nIndex < kMaxDevices;
}

std::string IdentityAnswer(const DEVICE_SCENARIO& device)
{
    return device.manufacturer + "," + kModelField + "," + device.serialNumber + "," + kFirmwareField + "\r\n";
}

std::string SerialFor(unsigned nIndex)
{
    char szSerial[16];
    std::snprintf(szSerial, sizeof(szSerial), "SIM%05u", nIndex + 1);
    return szSerial;
}

// The device a scenario gets where it names none: index 0 is the default
// instrument, higher indices differ only in their serial number.
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

// The answer repeated or cut to the answer length.
std::string SizedAnswer(const DEVICE_SCENARIO& device)
{
    if (device.dwAnswerLength == 0)
        return device.answer;
    if (device.answer.empty())
        return std::string(device.dwAnswerLength, '\0');
    std::string sized;
    while (sized.size() < device.dwAnswerLength)
        sized.append(device.answer, 0, std::min<size_t>(device.answer.size(), device.dwAnswerLength - sized.size()));
    return sized;
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

// What the sections read so far have set.
struct ReadState
{
    SCENARIO scenario; // its devices: one per index up to the highest section
    bool bCountSet = false;
    std::vector<std::set<std::string>> keysSet; // per device, the keys its section set
};

bool ReadDriverKey(const std::string& key, const std::string& value, ReadState& state)
{
    if (key == "count")
        state.scenario.nCount = Number(value);
    else if (key == "count_status")
        state.scenario.countStatus = Number(value);
    else
        return false;
    state.bCountSet = state.bCountSet || key == "count";
    return true;
}

bool ReadDeviceKey(DWORD nDevice, const std::string& key, const std::string& value, ReadState& state)
{
    const DeviceKey* pKey = std::find_if(std::begin(kDeviceKeys), std::end(kDeviceKeys),
                                         [&](const DeviceKey& known) { return key == known.pszKey; });
    if (pKey == std::end(kDeviceKeys))
        return false;
    DEVICE_SCENARIO& device = state.scenario.devices[nDevice];
    std::visit(
        [&](auto pMember) {
            using Value = std::remove_reference_t<decltype(device.*pMember)>;
            if constexpr (std::is_same_v<Value, std::string>)
                device.*pMember = Unescaped(value);
            else
                device.*pMember = static_cast<Value>(Number(value));
        },
        pKey->field);
    state.keysSet[nDevice].insert(key);
    return true;
}

// The sections in the file's order, their entries in theirs: a key given
// twice takes its later value. A line without '=' is a key that no section
// knows; a value in double quotes keeps the blanks inside them.
bool ReadSections(const std::string& path, ReadState& state, std::string& fault)
{
    const auto sectionNames = [&](char* pszBuffer, DWORD dwSize) {
        return GetPrivateProfileSectionNamesA(pszBuffer, dwSize, path.c_str());
    };
    for (const std::string& name : ReadProfileList(sectionNames))
    {
        const std::string lower = Lower(name);
        DWORD nDevice = 0;
        const bool bDevice = ParseDeviceSection(lower, nDevice);
        if (!bDevice && lower != kDriverSection)
        {
            fault = "[" + name + "]: unknown section (want [driver] or [device0]..[device" +
                    std::to_string(kMaxDevices - 1) + "])";
            return false;
        }
        while (bDevice && state.scenario.devices.size() <= nDevice)
        {
            state.scenario.devices.push_back(DefaultDevice(static_cast<unsigned>(state.scenario.devices.size())));
            state.keysSet.emplace_back();
        }
        const auto sectionEntries = [&](char* pszBuffer, DWORD dwSize) {
            return GetPrivateProfileSectionA(name.c_str(), pszBuffer, dwSize, path.c_str());
        };
        for (const std::string& entry : ReadProfileList(sectionEntries))
        {
            const size_t nEquals = entry.find('=');
            const std::string key = Lower(entry.substr(0, nEquals));
            std::string value = nEquals == std::string::npos ? std::string() : entry.substr(nEquals + 1);
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            if (!(bDevice ? ReadDeviceKey(nDevice, key, value, state) : ReadDriverKey(key, value, state)))
            {
                fault = "[" + name + "] " + key + ": unknown key";
                return false;
            }
        }
    }
    return true;
}
} // namespace

bool LoadScenario(const std::string& path, SCENARIO& scenario, std::string& error)
{
    ReadState state;
    std::string fault;
    if (!path.empty() && !ReadSections(path, state, fault))
    {
        error = "scenario '" + path + "' " + fault;
        return false;
    }
    // Texts derived from others follow the keys that were set, not the
    // defaults. Without device sections there is the default device; without
    // a count, the devices are counted.
    std::vector<DEVICE_SCENARIO>& devices = state.scenario.devices;
    for (size_t nIndex = 0; nIndex < devices.size(); ++nIndex)
    {
        DEVICE_SCENARIO& device = devices[nIndex];
        if (!state.keysSet[nIndex].count("ee_description"))
            device.eeDescription = device.description;
        if (!state.keysSet[nIndex].count("answer"))
            device.answer = IdentityAnswer(device);
        device.answer = SizedAnswer(device);
    }
    if (devices.empty())
        devices.push_back(DefaultDevice(0));
    if (!state.bCountSet)
        state.scenario.nCount = static_cast<DWORD>(devices.size());
    scenario = state.scenario;
    return true;
}
