// The vorlane-pack command line: subcommands build, list, extract, verify, kinds.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/pack/builders.h"

namespace vorlane::pack {

// Runs one command (arguments without the program name). Exit status: 0 done,
// 1 failed, 2 bad usage. `builders` null = the standard kinds.
int RunPackTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                const BuilderRegistry* builders = nullptr);

}  // namespace vorlane::pack
