// Internal diagnostic writers. Formats are UTF-8 text in the layer's format
// syntax: the printf conversions plus %@ for any value's description.
#pragma once

#include <Vantrell/Errors.h>

extern "C" {

// Sends one message to the system log (sender "info.library.quillbay",
// facility "Quillbay"), copied to standard error.
void VTLog(const char *format, ...);
// Writes the expanded format to standard error as it is, with no line break
// added. A NULL format writes nothing.
void slog(const char *format, ...);
}
