// The process entry and its outer frame: single instance, command line, primary
// initialisation, the shutdown in its fixed order and the hand-over to the game.
#pragma once

#include <cstdint>
#include <string>

namespace vorlane {

// Runs the whole program; returns the process exit code (0, or -1 on failure).
// It runs in its data set (app/data_set.h) as working directory.
int MAIN_Entry(int argc, char** argv);

// A file name the user gave relative to the folder the program was started in
// (script=, the automation script's screenshots), valid in the data set.
std::string MAIN_FromStartFolder(const std::string& name);

// Base library, settings record, global control, program log, input queue,
// Lua state, settings script and file control. 0 success, -1 failure.
int MAIN_PrimaryInit();

// Reads the Lua settings script at `path` into the settings record.
// 1 success, 0 failure.
int MAIN_ParseSettingsFile(const char* path);

// Releases everything in the fixed order and writes the memory result.
// 0, -2 when the program log cannot be destroyed, -1 when the base library
// cannot be stopped.
int MAIN_Shutdown();

// The start mode for the main map from the start flags of the settings record.
uint16_t MAIN_StartMode();

}  // namespace vorlane
