// Every scripted test ends by checking that the operation released every
// handle, set and buffer it obtained and used the platform as it must.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "drives/volume.h"
#include "support/cstring.h"
#include "tests/kit/scripted_platform.h"

inline void PrintTo(MediaClass value, std::ostream* out)
{
    static const char* const names[] = {"Floppy", "Disk", "CdRomOrOther", "Unclassified"};
    unsigned i = unsigned(value);
    *out << (i < 4 ? names[i] : "MediaClass?");
}

inline std::wstring Text(const CString& s) { return s.Text(); }

const wchar_t kDiskClass[] = L"{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
const wchar_t kVolumeClass[] = L"{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";

// Disk interface paths as the platform gives them.
const wchar_t kUsbDisk[] =
    L"\\\\?\\usbstor#disk&ven_acme&prod_stick&rev_1.00#0001#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
const wchar_t kIdeDisk[] =
    L"\\\\?\\ide#diskacme_ssd#5&1&0&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

using ScriptedDrivesTest = ScriptedPlatformTest;
