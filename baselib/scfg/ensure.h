// Internal failure report of the scfg library. A failed condition (a refused
// allocation, an index outside the set) is written to the default log as
// "libtools ENSURE: `<condition>', <source> - line <n>"; the operation then
// fails and the process goes on.
#pragma once

namespace vorlane::scfg {

void EnsureFailed(const char* condition, const char* source, int line);

}  // namespace vorlane::scfg
