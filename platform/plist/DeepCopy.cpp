// Deep copies: walks the source and rebuilds it through the reader's
// ValueStack, so the mutability options produce exactly what parsing would.
#include "PropertyListInternal.h"
#include "ValueStack.h"
#include "Walk.h"

#include <new>

namespace vt::plist {

namespace {

class Copier {
  public:
    Copier(CFAllocatorRef allocator, CFOptionFlags options) : stack_(allocator, options) {}

    bool Leaf(CFTypeRef value, CFTypeID type) {
        CFAllocatorRef allocator = stack_.Allocator();
        bool mutableLeaves = stack_.MutableLeaves();
        switch (type) {
            case cf::kTypeIDString: {
                auto str = static_cast<CFStringRef>(value);
                return stack_.Add(mutableLeaves ? CFStringCreateMutableCopy(allocator, 0, str)
                                                : CFStringCreateCopy(allocator, str));
            }
            case cf::kTypeIDData: {
                auto data = static_cast<CFDataRef>(value);
                return stack_.Add(mutableLeaves ? CFDataCreateMutableCopy(allocator, 0, data)
                                                : CFDataCreateCopy(allocator, data));
            }
            default: // numbers, booleans and dates never change
                return stack_.Add(CFRetain(value));
        }
    }
    bool BeginArray(CFArrayRef, CFIndex) {
        stack_.BeginArray();
        return true;
    }
    bool BeginDictionary(CFDictionaryRef, CFIndex) {
        stack_.BeginDictionary();
        return true;
    }
    bool Key(CFStringRef key) { return stack_.Add(CFStringCreateCopy(stack_.Allocator(), key)); }
    bool End(bool, CFIndex) { return stack_.End(); }

    CFPropertyListRef TakeRoot() { return stack_.TakeRoot(); }

  private:
    ValueStack stack_;
};

} // namespace

} // namespace vt::plist

extern "C" CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef allocator,
                                                          CFPropertyListRef propertyList,
                                                          CFOptionFlags mutabilityOption) {
    try {
        vt::plist::Copier copier(allocator, mutabilityOption);
        if (!vt::plist::Walk(propertyList, false, copier)) return nullptr;
        return copier.TakeRoot();
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}
