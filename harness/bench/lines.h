// Writing a list into an edit control of the main template: line by line
// (read the whole text back, append, write it whole) or the whole text once.
#pragma once

// Milliseconds for `devices` devices of four lines each.
double WriteLineByLineMs(int devices);
double WriteWholeOnceMs(int devices);
