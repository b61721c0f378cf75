// The scanner against expat on any bytes. The raw scanner must accept
// exactly what expat accepts (it may defer only on a form it leaves to expat:
// another encoding, a name outside ASCII in a declaration or attribute) and
// build the same value; the public reader must agree with expat on the
// verdict, the value and the error's line, column and message.
#include "fuzz/FuzzSupport.h"

#include "platform/plist/PropertyListInternal.h"
#include "platform/plist/Scanner.h"
#include "platform/values/Holder.h"

#include <string>

namespace {

using vt::CFRef;
namespace plist = vt::plist;

// NaN reals are not CFEqual to themselves; the writer's text still compares.
bool SameValue(CFPropertyListRef a, CFPropertyListRef b) {
    if (CFEqual(a, b)) return true;
    std::string x, y;
    return plist::AppendXML(a, x) && plist::AppendXML(b, y) && x == y;
}

std::string Text(const uint8_t *data, size_t size) {
    return std::string(reinterpret_cast<const char *>(data), size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The first byte picks the mutability; the rest is the document.
    if (size == 0) return 0;
    CFOptionFlags options = data[0] % 3;
    ++data;
    --size;

    plist::ParseError expatError;
    CFRef<CFPropertyListRef> expected(
        plist::CreateFromXMLBytesWithExpat(nullptr, data, size, options, &expatError));

    CFPropertyListRef raw = nullptr;
    plist::ParseError fault;
    plist::ScanStatus status = plist::ScanXML(nullptr, data, size, options, &raw, &fault);
    CFRef<CFPropertyListRef> scanned(raw);
    if (expected && status == plist::ScanStatus::Fault)
        vt::fuzz::Fail("the scanner refuses what expat accepts",
                       Text(data, size) + "\nscanner: " + plist::Describe(fault));
    if (!expected && status == plist::ScanStatus::Value)
        vt::fuzz::Fail("the scanner accepts what expat refuses",
                       Text(data, size) + "\nexpat: " + plist::Describe(expatError));
    if (expected && scanned && !SameValue(expected.get(), scanned.get()))
        vt::fuzz::Fail("the scanner and expat read different values",
                       Text(data, size) + "\nexpat:\n" + vt::fuzz::Describe(expected.get()) +
                           "\nscanner:\n" + vt::fuzz::Describe(scanned.get()));

    plist::ParseError error;
    CFRef<CFPropertyListRef> value(plist::CreateFromXMLBytes(nullptr, data, size, options, &error));
    if (bool(value) != bool(expected))
        vt::fuzz::Fail("the reader and expat disagree on accepting", Text(data, size));
    if (value && !SameValue(value.get(), expected.get()))
        vt::fuzz::Fail("the reader and expat read different values", Text(data, size));
    if (!value && plist::Describe(error) != plist::Describe(expatError))
        vt::fuzz::Fail("the reader and expat give different errors",
                       plist::Describe(error) + "\n" + plist::Describe(expatError));
    return 0;
}
