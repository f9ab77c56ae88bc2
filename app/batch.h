#pragma once
// Batch mode: what LOAD, 灰階, 濾波 and SOBEL do, for many pictures, in windows never shown.
#include "app/command_line.h"

// Runs the batch the command line asks for and returns the program's exit status.
int runBatch(const CommandLine& request);
