#include "baselib/scfg/ensure.h"

#include "baselib/logsys.h"

namespace vorlane::scfg {

void EnsureFailed(const char* condition, const char* source, int line) {
    LOGSYS_Printf(nullptr, kLogError, "libtools ENSURE: `%s', %s - line %d", condition, source,
                  line);
}

}  // namespace vorlane::scfg
