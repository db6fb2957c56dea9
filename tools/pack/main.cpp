// vorlane-pack: the data tool's entry point.
#include <iostream>
#include <string>
#include <vector>

#include "tools/pack/pack_cli.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return vorlane::pack::RunPackTool(args, std::cout, std::cerr);
}
