// The message catalogue lives in core/ (core/MsgStr.h), so that the viewer and other lower folders can show
// its texts; the program's units include it here as before.
#pragma once

#include "core/MsgStr.h"
