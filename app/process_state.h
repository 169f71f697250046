// The process-wide values of the tool as a new process starts with them.
// The emulator's runner and the tests start each run of the tool from here,
// as Windows starts each run in a fresh process.
#pragma once

void ResetProcessState();
