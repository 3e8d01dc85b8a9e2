// The platform work of one list: walks over the present devices reading both
// properties of each, and the text those devices make, built plainly.
#pragma once

#include <string>

// One walk; the four-line blocks of the devices with a hardware id.
std::wstring WalkDevices();
