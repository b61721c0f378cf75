// Assembles property-list values bottom-up: children collect on one flat
// stack and become their container in one step when it closes. Both the XML
// reader and the deep copy build through this, so the mutability options mean
// the same in both.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>
#include <vector>

namespace vt::plist {

class ValueStack {
  public:
    ValueStack(CFAllocatorRef allocator, CFOptionFlags options);
    ~ValueStack();
    ValueStack(const ValueStack &) = delete;
    ValueStack &operator=(const ValueStack &) = delete;

    CFAllocatorRef Allocator() const { return allocator_; }
    bool MutableLeaves() const { return mutableLeaves_; }

    void BeginArray() { frames_.push_back({values_.size(), hashes_.size(), false}); }
    void BeginDictionary() { frames_.push_back({values_.size(), hashes_.size(), true}); }
    // Adopts an owned value (a key or a value inside a dictionary, keys and
    // values alternating), or makes it the root. False for a null value
    // (its creation ran out of memory).
    bool Add(CFTypeRef value);
    // The same for a dictionary key whose CFHash the caller already knows,
    // so the dictionary need not work it out again.
    bool AddKey(CFStringRef key, CFHashCode hash);
    // Turns the innermost open container's children into the container and
    // adds that to its parent. False when memory runs out.
    bool End();

    size_t Depth() const { return frames_.size(); }
    bool InDictionary() const { return !frames_.empty() && frames_.back().dictionary; }
    // In a dictionary, after a key and before its value.
    bool AwaitingValue() const {
        return InDictionary() && (values_.size() - frames_.back().start) % 2 == 1;
    }
    bool HasRoot() const { return root_ != nullptr; }
    // The finished root value; the caller owns it.
    CFPropertyListRef TakeRoot();

  private:
    struct Frame {
        size_t start;     // first child in values_
        size_t hashStart; // first key's hash in hashes_
        bool dictionary;
    };

    bool Push(CFTypeRef value);
    bool PushKey(CFTypeRef key, CFHashCode hash);

    CFAllocatorRef allocator_;
    bool mutableContainers_;
    bool mutableLeaves_;
    std::vector<CFTypeRef> values_;  // owned
    std::vector<CFHashCode> hashes_; // the CFHash of each key in values_, in order
    std::vector<Frame> frames_;
    CFTypeRef root_ = nullptr;
};

} // namespace vt::plist
