// A one-pass reader for the XML that property lists use, working on the
// bytes in place: element events go straight to XMLBuilder, and text is
// copied only where a reference, a CDATA section, a comment or a line end
// splits it. It is the fast path; the expat reader stays the judge of
// everything the scanner does not read itself.
#pragma once

#include "PropertyListInternal.h"

#include <cstddef>

namespace vt::plist {

enum class ScanStatus {
    Value, // a well-formed property list; *value holds it
    Fault, // not a well-formed property list; *fault says roughly where
    Defer, // a form the scanner does not judge (another encoding, a name
           // outside ASCII in a declaration or attribute): ask expat
};

// Called now and then with an offset below which the scanner will never read
// again, so a caller reading a mapped file can drop those pages.
using ScanProgress = void (*)(void *context, size_t consumed);

// Scans UTF-8 (or US-ASCII) XML property-list bytes. On Value the caller owns
// *value; values never point into the bytes.
ScanStatus ScanXML(CFAllocatorRef allocator, const void *bytes, size_t length,
                   CFOptionFlags options, CFPropertyListRef *value, ParseError *fault,
                   ScanProgress progress = nullptr, void *context = nullptr);

} // namespace vt::plist
