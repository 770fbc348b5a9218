#include "ModuleVersion.h"

#include "SystemCalls.h"

#include <cstring>

namespace
{
// A version record (VS_VERSIONINFO) starts with its length, its value's
// length and its type (three 16-bit numbers), then its key, the UTF-16 text
// "VS_VERSION_INFO" with its zero, then padding to 32 bits, then the value:
// the fixed part, VS_FIXEDFILEINFO, with the file version.
const WCHAR kVersionKey[] = L"VS_VERSION_INFO";
const size_t kKeyOffset = 3 * sizeof(WORD);
const size_t kFixedPartOffset = (kKeyOffset + sizeof(kVersionKey) + 3) & ~static_cast<size_t>(3);
} // namespace

// Read from the module as loaded rather than through version.dll, which no
// system loads for everyone: loaded by the program, a copy planted beside it
// would be taken.
DWORD QueryModuleFileVersion(HMODULE hModule, CString& version)
{
    const HRSRC hResource = ::FindResourceA(hModule, MAKEINTRESOURCEA(VS_VERSION_INFO), MAKEINTRESOURCEA(16));
    if (hResource == nullptr)
        return LastErrorOr(ERROR_RESOURCE_TYPE_NOT_FOUND);
    const DWORD cbResource = ::SizeofResource(hModule, hResource);
    const HGLOBAL hData = ::LoadResource(hModule, hResource);
    const BYTE* pData = hData != nullptr ? static_cast<const BYTE*>(::LockResource(hData)) : nullptr;
    if (pData == nullptr)
        return LastErrorOr(ERROR_RESOURCE_DATA_NOT_FOUND);

    VS_FIXEDFILEINFO fixed = {};
    WORD cbValue = 0;
    if (cbResource < kFixedPartOffset + sizeof(fixed))
        return ERROR_INVALID_DATA;
    std::memcpy(&cbValue, pData + sizeof(WORD), sizeof(cbValue));
    std::memcpy(&fixed, pData + kFixedPartOffset, sizeof(fixed));
    if (std::memcmp(pData + kKeyOffset, kVersionKey, sizeof(kVersionKey)) != 0 || cbValue < sizeof(fixed) ||
        fixed.dwSignature != VS_FFI_SIGNATURE)
        return ERROR_INVALID_DATA;
    version.Format("%u.%u.%u.%u", HIWORD(fixed.dwFileVersionMS), LOWORD(fixed.dwFileVersionMS),
                   HIWORD(fixed.dwFileVersionLS), LOWORD(fixed.dwFileVersionLS));
    return ERROR_SUCCESS;
}
