// Framework-wide constants.
#include <Vantrell/Base.h>

#include "platform/strings/ConstantString.h"

VT_CONSTANT_STRING(kVTCopyrightString,
                   "Copyright \xC2\xA9 2026 The Vantrell developers. All rights reserved.");
