// Test driver for the plistlib cross-check.
//   plist_roundtrip rewrite IN OUT   read IN, write it back with our writer
//   plist_roundtrip dump IN          print a canonical dump of IN's values
// The dump has one node per line (strings, keys and data in hex, reals and
// dates as the bits of their double, keys in UTF-16 order), so that the
// script can compare what we read with what plistlib reads, byte for byte.
#include <CoreFoundation/CoreFoundation.h>

#include "platform/values/Holder.h"
#include "platform/plist/PropertyListInternal.h"
#include "platform/plist/Walk.h"
#include "platform/strings/StringInternal.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

void PutHex(const char *label, const UInt8 *bytes, size_t length) {
    std::printf("%s ", label);
    for (size_t i = 0; i < length; ++i)
        std::printf("%02x", bytes[i]);
    std::printf("\n");
}

void PutDouble(const char *label, double value) {
    if (std::isnan(value)) {
        std::printf("%s nan\n", label);
        return;
    }
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    std::printf("%s %016llx\n", label, static_cast<unsigned long long>(bits));
}

void PutString(const char *label, CFStringRef str) {
    std::string text = vt::cf::StringToUTF8(str);
    PutHex(label, reinterpret_cast<const UInt8 *>(text.data()), text.size());
}

struct Dumper {
    bool Leaf(CFTypeRef value, CFTypeID type) {
        if (type == CFStringGetTypeID()) {
            PutString("string", static_cast<CFStringRef>(value));
        } else if (type == CFBooleanGetTypeID()) {
            std::printf("bool %s\n",
                        CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? "true" : "false");
        } else if (type == CFDataGetTypeID()) {
            auto data = static_cast<CFDataRef>(value);
            PutHex("data", CFDataGetBytePtr(data), size_t(CFDataGetLength(data)));
        } else if (type == CFDateGetTypeID()) {
            PutDouble("date", CFDateGetAbsoluteTime(static_cast<CFDateRef>(value)));
        } else {
            auto number = static_cast<CFNumberRef>(value);
            if (CFNumberIsFloatType(number)) {
                double real = 0;
                CFNumberGetValue(number, kCFNumberFloat64Type, &real);
                PutDouble("real", real);
            } else if (CFNumberGetType(number) == kCFNumberSInt128Type) {
                struct {
                    SInt64 high;
                    UInt64 low;
                } wide;
                CFNumberGetValue(number, kCFNumberSInt128Type, &wide);
                std::printf("integer %llu\n", static_cast<unsigned long long>(wide.low));
            } else {
                SInt64 integer = 0;
                CFNumberGetValue(number, kCFNumberSInt64Type, &integer);
                std::printf("integer %lld\n", static_cast<long long>(integer));
            }
        }
        return true;
    }
    bool BeginArray(CFArrayRef, CFIndex count) {
        std::printf("array %ld\n", long(count));
        return true;
    }
    bool BeginDictionary(CFDictionaryRef, CFIndex count) {
        std::printf("dict %ld\n", long(count));
        return true;
    }
    bool Key(CFStringRef key) {
        PutString("key", key);
        return true;
    }
    bool End(bool, CFIndex) {
        std::printf("end\n");
        return true;
    }
};

} // namespace

int main(int argc, char **argv) {
    bool rewrite = argc == 4 && std::strcmp(argv[1], "rewrite") == 0;
    bool dump = argc == 3 && std::strcmp(argv[1], "dump") == 0;
    if (!rewrite && !dump) {
        std::fprintf(stderr, "usage: plist_roundtrip rewrite IN OUT | dump IN\n");
        return 2;
    }
    vt::plist::ParseError error;
    vt::CFRef<CFPropertyListRef> value(vt::plist::CreateFromXMLFile(
        nullptr, argv[2], kCFPropertyListMutableContainersAndLeaves, &error));
    if (!value) {
        std::fprintf(stderr, "%s: %s\n", argv[2], vt::plist::Describe(error).c_str());
        return 1;
    }
    if (dump) {
        Dumper dumper;
        return vt::plist::Walk(value.get(), true, dumper) ? 0 : 1;
    }
    std::FILE *out = std::fopen(argv[3], "wb");
    bool written = out && vt::plist::WriteXML(value.get(), out);
    if (out && std::fclose(out) != 0) written = false;
    if (!written) std::fprintf(stderr, "%s: cannot write\n", argv[3]);
    return written ? 0 : 1;
}
