// Every scripted test ends by checking that the operation released every
// handle, set and buffer it obtained and used the platform as it must.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "drives/volume.h"
#include "scripted_storage.h"
#include "support/cstring.h"

inline void PrintTo(MediaClass value, std::ostream* out)
{
    static const char* const names[] = {"Floppy", "Disk", "CdRomOrOther", "Unclassified"};
    unsigned i = unsigned(value);
    *out << (i < 4 ? names[i] : "MediaClass?");
}

inline std::wstring Text(const CString& s) { return s.Text(); }

const wchar_t kDiskClass[] = L"{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
const wchar_t kVolumeClass[] = L"{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";

class ScriptedDrivesTest : public ::testing::Test {
protected:
    void TearDown() override { storage.ExpectNothingLeft(); }

    ScriptedStorage storage;
};
