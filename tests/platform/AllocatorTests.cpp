// Caller allocators: values take their object memory from the allocator they
// are made with and give it back when freed; a refused allocation makes the
// Create function return NULL; the allocator API itself.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include "faults/FaultAllocator.h"
#include "platform/values/Holder.h"

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using vt::CFRef;
using vt::test::FaultCounts;

namespace {

struct Maker {
    const char *name;
    std::function<CFTypeRef(CFAllocatorRef)> make;
};

std::vector<Maker> Makers() {
    static const CFIndex kNumber = 123456789;
    static const UInt8 kBytes[] = {1, 2, 3, 4, 5};
    return {
        {"string",
         [](CFAllocatorRef a) {
             return CFStringCreateWithCString(a, "caller's memory", kCFStringEncodingUTF8);
         }},
        {"non-ASCII string",
         [](CFAllocatorRef a) {
             return CFStringCreateWithCString(a, "caf\xC3\xA9 \xE2\x86\x92 d\xC3\xA9j\xC3\xA0",
                                              kCFStringEncodingUTF8);
         }},
        {"mutable string",
         [](CFAllocatorRef a) {
             CFMutableStringRef s = CFStringCreateMutable(a, 0);
             if (s) CFStringAppendCString(s, "grown past any inline room", kCFStringEncodingUTF8);
             return s;
         }},
        {"number",
         [](CFAllocatorRef a) { return CFNumberCreate(a, kCFNumberCFIndexType, &kNumber); }},
        {"data", [](CFAllocatorRef a) { return CFDataCreate(a, kBytes, 5); }},
        {"mutable data",
         [](CFAllocatorRef a) {
             CFMutableDataRef d = CFDataCreateMutable(a, 0);
             if (d) CFDataAppendBytes(d, kBytes, 5);
             return d;
         }},
        {"date", [](CFAllocatorRef a) { return CFDateCreate(a, 1000.5); }},
        {"uuid",
         [](CFAllocatorRef a) {
             return CFUUIDCreateFromString(a, CFSTR("68753A44-4D6F-1226-9C60-0050E4C00067"));
         }},
        {"array",
         [](CFAllocatorRef a) {
             const void *values[] = {CFSTR("x"), CFSTR("y")};
             return CFArrayCreate(a, values, 2, &kCFTypeArrayCallBacks);
         }},
        {"mutable array",
         [](CFAllocatorRef a) {
             CFMutableArrayRef array = CFArrayCreateMutable(a, 0, &kCFTypeArrayCallBacks);
             if (array) CFArrayAppendValue(array, CFSTR("x"));
             return array;
         }},
        {"mutable dictionary",
         [](CFAllocatorRef a) {
             CFMutableDictionaryRef d = CFDictionaryCreateMutable(
                 a, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
             if (d) CFDictionarySetValue(d, CFSTR("k"), CFSTR("v"));
             return d;
         }},
        {"url",
         [](CFAllocatorRef a) {
             return CFURLCreateWithFileSystemPath(a, CFSTR("/tmp/caf\u00e9 x"),
                                                  kCFURLPOSIXPathStyle, false);
         }},
    };
}

} // namespace

TEST(Allocator, ValuesComeFromTheCallersAllocatorAndGoBackToIt) {
    FaultCounts counts;
    CFRef<CFAllocatorRef> allocator(vt::test::CreateFaultAllocator(&counts));
    ASSERT_TRUE(allocator);
    EXPECT_EQ(counts.infoRetains, 1);
    EXPECT_EQ(counts.calls, 0) << "the allocator's own object is not its allocation";
    for (const Maker &maker : Makers()) {
        long before = counts.calls;
        CFIndex allocatorRefs = CFGetRetainCount(allocator.get());
        CFRef<CFTypeRef> value(maker.make(allocator.get()));
        ASSERT_TRUE(value) << maker.name;
        EXPECT_GT(counts.calls, before) << maker.name;
        EXPECT_GT(counts.live, 0) << maker.name;
        EXPECT_EQ(CFGetAllocator(value.get()), allocator.get()) << maker.name;
        EXPECT_GT(CFGetRetainCount(allocator.get()), allocatorRefs) << maker.name;
        value.Reset();
        EXPECT_EQ(counts.live, 0) << maker.name;
        EXPECT_EQ(CFGetRetainCount(allocator.get()), allocatorRefs) << maker.name;
    }
    // Values outlive the caller's reference to the allocator.
    CFRef<CFStringRef> survivor(
        CFStringCreateWithCString(allocator.get(), "s", kCFStringEncodingUTF8));
    allocator.Reset();
    EXPECT_EQ(counts.infoRetains, 1);
    EXPECT_EQ(CFStringGetLength(survivor.get()), 1);
    survivor.Reset();
    EXPECT_EQ(counts.live, 0);
    EXPECT_EQ(counts.infoRetains, 0);
}

TEST(Allocator, EveryRefusedAllocationMakesTheCreateReturnNull) {
    for (const Maker &maker : Makers()) {
        // Find how many allocations the value takes, then refuse each in turn.
        FaultCounts probe;
        {
            CFRef<CFAllocatorRef> allocator(vt::test::CreateFaultAllocator(&probe));
            CFRef<CFTypeRef> value(maker.make(allocator.get()));
            ASSERT_TRUE(value) << maker.name;
        }
        ASSERT_GT(probe.calls, 0) << maker.name;
        CFRef<CFTypeRef> expected(maker.make(kCFAllocatorDefault));
        for (long n = 1; n <= probe.calls; ++n) {
            FaultCounts counts;
            counts.failAt = n;
            {
                CFRef<CFAllocatorRef> allocator(vt::test::CreateFaultAllocator(&counts));
                CFRef<CFTypeRef> value(maker.make(allocator.get()));
                // A refusal fails the whole value: nothing half made or made
                // another way comes back.
                if (value) {
                    EXPECT_TRUE(CFEqual(value.get(), expected.get()))
                        << maker.name << " failing at " << n;
                    EXPECT_EQ(CFGetAllocator(value.get()), allocator.get()) << maker.name;
                }
            }
            EXPECT_EQ(counts.live, 0) << maker.name << " failing at " << n;
            EXPECT_EQ(counts.infoRetains, 0) << maker.name << " failing at " << n;
        }
    }
}

namespace {

struct SelfCounts {
    std::vector<std::string> events;
    bool refuse = false;
};

void *SelfAllocate(CFIndex size, CFOptionFlags, void *info) {
    auto *counts = static_cast<SelfCounts *>(info);
    counts->events.push_back("allocate " + std::to_string(size));
    return counts->refuse ? nullptr : std::malloc(size_t(size));
}
void SelfDeallocate(void *ptr, void *info) {
    static_cast<SelfCounts *>(info)->events.push_back("deallocate");
    std::free(ptr);
}
void SelfRelease(const void *info) {
    static_cast<SelfCounts *>(const_cast<void *>(info))->events.push_back("release");
}
CFIndex SelfPreferredSize(CFIndex size, CFOptionFlags, void *) {
    return (size + 63) / 64 * 64;
}
CFStringRef SelfDescription(const void *) {
    return CFStringCreateWithCString(nullptr, "self-made", kCFStringEncodingUTF8);
}

} // namespace

TEST(Allocator, CreateAllocateReallocateAndContext) {
    // Malformed contexts make no allocator.
    EXPECT_EQ(CFAllocatorCreate(nullptr, nullptr), nullptr);
    CFAllocatorContext noAllocate = {};
    EXPECT_EQ(CFAllocatorCreate(nullptr, &noAllocate), nullptr);
    CFAllocatorContext badVersion = {};
    badVersion.version = 1;
    badVersion.allocate = SelfAllocate;
    EXPECT_EQ(CFAllocatorCreate(nullptr, &badVersion), nullptr);

    SelfCounts counts;
    CFAllocatorContext context = {0,           &counts,         nullptr,
                                  SelfRelease, SelfDescription, SelfAllocate,
                                  nullptr,     SelfDeallocate,  SelfPreferredSize};
    // Living in its own memory: the allocator object is its first allocation,
    // and its last release gives that back before the info is released.
    CFAllocatorRef own = CFAllocatorCreate(kCFAllocatorUseContext, &context);
    ASSERT_NE(own, nullptr);
    ASSERT_EQ(counts.events.size(), 1u);
    EXPECT_EQ(CFGetTypeID(own), CFAllocatorGetTypeID());
    CFRef<CFStringRef> description(CFCopyDescription(own));
    EXPECT_TRUE(CFEqual(description.get(), CFSTR("self-made")));

    CFAllocatorContext copy = {};
    CFAllocatorGetContext(own, &copy);
    EXPECT_EQ(copy.info, &counts);
    EXPECT_EQ(copy.allocate, &SelfAllocate);
    EXPECT_EQ(copy.reallocate, nullptr);
    CFAllocatorContext otherVersion = {};
    otherVersion.version = 7;
    CFAllocatorGetContext(own, &otherVersion);
    EXPECT_EQ(otherVersion.info, nullptr);

    EXPECT_EQ(CFAllocatorGetPreferredSizeForSize(own, 10, 0), 64);
    EXPECT_EQ(CFAllocatorGetPreferredSizeForSize(kCFAllocatorMalloc, 10, 0), 10);
    EXPECT_EQ(CFAllocatorAllocate(own, 0, 0), nullptr);
    void *block = CFAllocatorAllocate(own, 32, 0);
    ASSERT_NE(block, nullptr);
    // Without a reallocate callback nothing can be resized, and the block stays.
    EXPECT_EQ(CFAllocatorReallocate(own, block, 64, 0), nullptr);
    EXPECT_EQ(CFAllocatorReallocate(own, block, 0, 0), nullptr); // gives it back
    void *fresh = CFAllocatorReallocate(own, nullptr, 16, 0);    // allocates
    ASSERT_NE(fresh, nullptr);
    CFAllocatorDeallocate(own, fresh);
    CFAllocatorDeallocate(own, nullptr);
    EXPECT_EQ(counts.events[0].rfind("allocate ", 0), 0u);
    EXPECT_EQ(std::vector<std::string>(counts.events.begin() + 1, counts.events.end()),
              (std::vector<std::string>{"allocate 32", "deallocate", "allocate 16", "deallocate"}));
    counts.events.clear();
    CFRelease(own);
    EXPECT_EQ(counts.events, (std::vector<std::string>{"deallocate", "release"}));

    // No memory for the allocator itself: no allocator, and the info goes.
    counts.events.clear();
    counts.refuse = true;
    EXPECT_EQ(CFAllocatorCreate(kCFAllocatorUseContext, &context), nullptr);
    EXPECT_EQ(counts.events.back(), "release");

    // The predefined allocators: the null one hands out nothing, the others
    // the system heap.
    EXPECT_EQ(CFAllocatorAllocate(kCFAllocatorNull, 8, 0), nullptr);
    for (CFAllocatorRef heap :
         {kCFAllocatorDefault, kCFAllocatorSystemDefault, kCFAllocatorMalloc}) {
        void *bytes = CFAllocatorAllocate(heap, 8, 0);
        ASSERT_NE(bytes, nullptr);
        bytes = CFAllocatorReallocate(heap, bytes, 4096, 0);
        ASSERT_NE(bytes, nullptr);
        CFAllocatorDeallocate(heap, bytes);
    }
    // Something that is not an allocator is refused.
    EXPECT_EQ(CFAllocatorAllocate(reinterpret_cast<CFAllocatorRef>(CFSTR("no")), 8, 0), nullptr);
}

TEST(Allocator, NoCopyDataGivesItsBytesBackToTheirAllocator) {
    FaultCounts counts;
    CFRef<CFAllocatorRef> allocator(vt::test::CreateFaultAllocator(&counts));
    auto *bytes = static_cast<UInt8 *>(CFAllocatorAllocate(allocator.get(), 4, 0));
    ASSERT_NE(bytes, nullptr);
    bytes[0] = 42;
    CFRef<CFDataRef> data(CFDataCreateWithBytesNoCopy(nullptr, bytes, 4, allocator.get()));
    ASSERT_TRUE(data);
    EXPECT_EQ(CFDataGetBytePtr(data.get()), bytes);
    allocator.Reset(); // the data keeps it
    EXPECT_EQ(counts.live, 1);
    data.Reset();
    EXPECT_EQ(counts.live, 0);
    EXPECT_EQ(counts.infoRetains, 0);
}
