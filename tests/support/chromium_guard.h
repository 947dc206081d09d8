// Test side of the stand-in's Chromium mode: whatever happens to the engine, the headless
// Chromium it started must not outlive the test. The stand-in journals the browser's host
// pid and run folder (chromium.started); its watch script ends the browser when the
// engine is gone. EndChromiumOf is the harness's last word: for every browser of the
// journal whose run folder still exists, it ends that pid (checked against the folder
// in the process's command line, so a reused pid is left alone) and waits for the folder
// to go. Never by name.
//
// Threads: test threads.
#pragma once
#include "tests/support/journal.h"

namespace nimo_test {

// Returns how many browsers had to be ended here (0 when the stand-in had done it).
int EndChromiumOf(const Journal& journal);

// Kills the browser of one `chromium.started` line at once (SIGKILL by its pid, checked
// against its run folder as above), as a crash of the whole browser would end it; the
// engine is left to notice. False when the kill could not be started.
bool KillChromium(const JournalEntry& started);

}  // namespace nimo_test
