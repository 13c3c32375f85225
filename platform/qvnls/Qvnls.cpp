#include "platform/qvnls/Qvnls.h"

namespace qvnls {

int GetVersion() { return kVersion; }

}  // namespace qvnls
