// Small helpers the three table files share.
#pragma once

#include <Vantrell/Errors.h>

#include "platform/values/Cast.h"
#include "platform/values/Holder.h"

namespace vt::tables {

// The text a URL is stored and looked up by: its own text, or, for a URL made
// relative to a base, the text of its absolute URL, so that two URLs naming
// the same place through different bases share one entry. NULL for a
// missing value or one that is no URL.
inline CFRef<CFStringRef> CopyURLText(CFURLRef url) {
    if (!cf::Cast<CFURLRef>(url)) return {};
    if (!CFURLGetBaseURL(url)) return CFRef<CFStringRef>::Retain(CFURLGetString(url));
    CFRef<CFURLRef> absolute(CFURLCopyAbsoluteURL(url));
    return CFRef<CFStringRef>::Retain(absolute ? CFURLGetString(absolute.get()) : nullptr);
}

} // namespace vt::tables
