#include "ValueStack.h"

namespace vt::plist {

ValueStack::ValueStack(CFAllocatorRef allocator, CFOptionFlags options)
    : allocator_(allocator),
      mutableContainers_(options == kCFPropertyListMutableContainers ||
                         options == kCFPropertyListMutableContainersAndLeaves),
      mutableLeaves_(options == kCFPropertyListMutableContainersAndLeaves) {}

ValueStack::~ValueStack() {
    for (CFTypeRef value : values_)
        CFRelease(value);
    if (root_) CFRelease(root_);
}

bool ValueStack::Add(CFTypeRef value) {
    if (!value) return false;
    if (frames_.empty()) {
        if (root_) CFRelease(root_);
        root_ = value;
        return true;
    }
    try {
        values_.push_back(value);
    } catch (...) {
        CFRelease(value);
        throw;
    }
    return true;
}

CFTypeRef ValueStack::MakeArray(const CFTypeRef *items, CFIndex count) {
    if (!mutableContainers_)
        return CFArrayCreate(allocator_, const_cast<const void **>(items), count,
                             &kCFTypeArrayCallBacks);
    // The count as capacity hint sizes the storage exactly.
    CFMutableArrayRef array = CFArrayCreateMutable(allocator_, count, &kCFTypeArrayCallBacks);
    if (!array) return nullptr;
    for (CFIndex i = 0; i < count; ++i)
        CFArrayAppendValue(array, items[i]);
    return array;
}

CFTypeRef ValueStack::MakeDictionary(const CFTypeRef *items, CFIndex count) {
    CFIndex pairs = count / 2;
    if (!mutableContainers_) {
        keys_.clear();
        objects_.clear();
        for (CFIndex i = 0; i < pairs; ++i) {
            keys_.push_back(items[2 * i]);
            objects_.push_back(items[2 * i + 1]);
        }
        CFDictionaryRef dict =
            CFDictionaryCreate(allocator_, keys_.data(), objects_.data(), pairs,
                               &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        if (!dict || CFDictionaryGetCount(dict) == pairs) return dict;
        // Duplicate keys: build by setting in order, so the last one wins.
        CFRelease(dict);
    }
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
        allocator_, pairs, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    if (!dict) return nullptr;
    for (CFIndex i = 0; i < pairs; ++i)
        CFDictionarySetValue(dict, items[2 * i], items[2 * i + 1]);
    if (mutableContainers_) return dict;
    CFDictionaryRef copy = CFDictionaryCreateCopy(allocator_, dict);
    CFRelease(dict);
    return copy;
}

bool ValueStack::End() {
    Frame frame = frames_.back();
    const CFTypeRef *items = values_.data() + frame.start;
    auto count = CFIndex(values_.size() - frame.start);
    CFTypeRef container = frame.dictionary ? MakeDictionary(items, count) : MakeArray(items, count);
    if (!container) return false;
    for (size_t i = frame.start; i < values_.size(); ++i)
        CFRelease(values_[i]);
    values_.resize(frame.start);
    frames_.pop_back();
    return Add(container);
}

CFPropertyListRef ValueStack::TakeRoot() {
    CFTypeRef root = root_;
    root_ = nullptr;
    return root;
}

} // namespace vt::plist
