// Descriptor builders the framework keeps to itself; not exported.
#pragma once

#include <Vantrell/AppleEvent.h>

extern "C" {

// typeUnicodeText, coerced from the typeUTF8Text descriptor of the string.
OSStatus VTCreateUnicodeDescWithCFString(CFStringRef string, AEDesc *desc);
// typeData: a copy of the bytes.
OSStatus VTCreateDescWithCFData(CFDataRef data, AEDesc *desc);
// typeURL, coerced from the typeUTF8Text descriptor of the URL's string.
OSStatus VTCreateAEDescWithURLString(CFURLRef url, AEDesc *desc);
// A placeholder: fills nothing and returns paramErr.
OSStatus VTCreateAEDescWithURL(AEDesc *desc, CFURLRef url);
}
