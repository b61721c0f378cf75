#include "ValueStack.h"

#include "platform/values/CollectionInternal.h"

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
    if (InDictionary() && !AwaitingValue()) return PushKey(value, CFHash(value));
    return Push(value);
}

bool ValueStack::AddKey(CFStringRef key, CFHashCode hash) {
    if (!key) return false;
    if (frames_.empty()) return Add(key);
    return PushKey(key, hash);
}

bool ValueStack::Push(CFTypeRef value) {
    try {
        values_.push_back(value);
    } catch (...) {
        CFRelease(value);
        throw;
    }
    return true;
}

bool ValueStack::PushKey(CFTypeRef key, CFHashCode hash) {
    try {
        hashes_.push_back(hash);
    } catch (...) {
        CFRelease(key);
        throw;
    }
    try {
        values_.push_back(key);
    } catch (...) {
        hashes_.pop_back();
        CFRelease(key);
        throw;
    }
    return true;
}

bool ValueStack::End() {
    Frame frame = frames_.back();
    const CFTypeRef *items = values_.data() + frame.start;
    auto count = CFIndex(values_.size() - frame.start);
    // The container adopts its children's references: no retain and release
    // per child. On failure the children stay on the stack, owned by it.
    CFTypeRef container =
        frame.dictionary
            ? CFTypeRef(cf::DictionaryCreateAdopting(allocator_, items, count / 2,
                                                     mutableContainers_,
                                                     hashes_.data() + frame.hashStart))
            : CFTypeRef(cf::ArrayCreateAdopting(allocator_, items, count, mutableContainers_));
    if (!container) return false;
    values_.resize(frame.start);
    hashes_.resize(frame.hashStart);
    frames_.pop_back();
    return Add(container);
}

CFPropertyListRef ValueStack::TakeRoot() {
    CFTypeRef root = root_;
    root_ = nullptr;
    return root;
}

} // namespace vt::plist
