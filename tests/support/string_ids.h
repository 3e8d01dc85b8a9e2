#pragma once

#define IDS_SHORT 101
#define IDS_LONG 102                // 300 characters: more than the first buffer holds
#define IDS_EXACT_FIRST_BUFFER 103  // 255 characters: fills the first buffer to the brim
#define IDS_MISSING 104
