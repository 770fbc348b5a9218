// The first line of every report: the running Windows version.
#pragma once

#include "framework/String.h"

// What the line is made of, as far as the system tells it.
struct OsVersionInfo
{
    // The version query answered; nothing below is known otherwise.
    BOOL bKnown = FALSE;
    // Platform, version, build, service pack and product type.
    OSVERSIONINFOEXA version = {};
    // Windows 10 and later: the feature release ("22H2": DisplayVersion, or
    // ReleaseId before 20H2) and the update level of the build (UBR); empty
    // and FALSE where the registry holds none.
    CString release;
    BOOL bHasUpdateLevel = FALSE;
    DWORD dwUpdateLevel = 0;
    BOOL bWindows64 = FALSE;
    // IMAGE_FILE_MACHINE_ARM64 on Windows on ARM, where IsWow64Process2 tells
    // it; IMAGE_FILE_MACHINE_UNKNOWN where the system cannot.
    USHORT nNativeMachine = IMAGE_FILE_MACHINE_UNKNOWN;
};

OsVersionInfo QueryOsVersion();

// "Operating System:   " and the version's name, service pack or feature
// release, and build, as far as they are known; the label alone when the
// version cannot be read.
CString FormatOsVersionLine(const OsVersionInfo& info);

// The line of the running Windows.
CString GetOsVersionText();
