#pragma once

// The programs velmora_bench_open runs as child processes of itself.

// The application's main window opens path as the user's file list does
// (slotOpenRecording(path, true)) while a 2 ms timer ticks on the GUI
// thread. Prints the time to the first painted picture and the longest gap
// between ticks from the open until a second after that picture (and before
// the open). With switchTo, it then opens that file the same way (the first
// one's GPS pass may still be reading) and prints the same for it. Last,
// when the GPS track of the file opened last reached the window (waiting at
// most gpsWaitS seconds), and how long stop() took.
int runWindowOpen(int argc, char **argv, const char *path, double gpsWaitS, const char *switchTo);
