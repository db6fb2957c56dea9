// The front end's command-line options: the ten-entry table, parsing it from the
// words of the command line and applying the parsed options.
#pragma once

#include <string>
#include <vector>

#include "baselib/optparse.h"

namespace vorlane {

inline constexpr int kOptionCount = 10;

// The table of the last MAIN_ParseOptions (value pointers refer into its words).
OptionEntry* MAIN_OptionTable();

// Parses `words` (words[0] is the program path) into the option table and keeps
// the words alive for the table's value pointers. The number of matches.
int MAIN_ParseOptions(const std::vector<std::string>& words);

// Applies the parsed options: prints the option list for "?"/"help", the timer
// line for "time", logs the debug switch and sets the start flags of the
// settings record. Needs the settings record.
void MAIN_EvaluateOptions();

// True when "?" or "help" was given.
bool MAIN_HelpRequested();

// The "script" variable's value (empty when not given).
std::string MAIN_ScriptOption();

}  // namespace vorlane
