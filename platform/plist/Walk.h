// Depth-first traversal of a property list without recursion, shared by the
// writer, the validity check and the deep copy. A value of any type outside
// the property-list types, or a dictionary key that is not a string, ends the
// walk with false, so every user of Walk agrees on what a property list is.
// So does a container that holds itself, directly or further down: it has no
// finite form, and following it would never end.
#pragma once

#include "platform/values/Runtime.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace vt::plist {

inline bool IsLeafType(CFTypeID type) {
    return type == cf::kTypeIDString || type == cf::kTypeIDNumber || type == cf::kTypeIDBoolean ||
           type == cf::kTypeIDData || type == cf::kTypeIDDate;
}

// Calls, in document order:
//   bool Leaf(CFTypeRef value, CFTypeID type)      string, number, boolean, data, date
//   bool BeginArray(CFArrayRef array, CFIndex count)
//   bool BeginDictionary(CFDictionaryRef dict, CFIndex count)
//   bool Key(CFStringRef key)                       before each dictionary value
//   bool End(bool dictionary, CFIndex count)        after a container's last child
// Any false from the visitor ends the walk with false. With sortKeys the
// dictionary entries come in CFStringCompare order, else in stored order.
// Throws std::bad_alloc when the traversal stack cannot grow.
template <class Visitor>
bool Walk(CFPropertyListRef root, bool sortKeys, Visitor &visitor) {
    struct Frame {
        CFTypeRef container;
        size_t base; // first item in `items`; a dictionary's values follow its keys
        size_t orderBase;
        CFIndex count;
        CFIndex next;
        bool dictionary;
    };
    std::vector<Frame> frames;
    std::vector<CFTypeRef> items;
    std::vector<uint32_t> order;
    // The containers on the current path are the frames'. The first levels
    // are scanned, which costs nothing for real documents; deeper levels,
    // which only values built in memory reach, go to a set as well.
    constexpr size_t kScannedLevels = 64;
    std::unordered_set<CFTypeRef> deepPath;
    auto onPath = [&](CFTypeRef container) {
        size_t scanned = std::min(frames.size(), kScannedLevels);
        for (size_t i = 0; i < scanned; ++i)
            if (frames[i].container == container) return true;
        return frames.size() > kScannedLevels && deepPath.count(container) != 0;
    };
    auto enter = [&](const Frame &frame) {
        if (frames.size() >= kScannedLevels) deepPath.insert(frame.container);
        frames.push_back(frame);
    };

    CFTypeRef value = root;
    while (true) {
        CFTypeID type = cf::TypeOf(value);
        if (IsLeafType(type)) {
            if (!visitor.Leaf(value, type)) return false;
        } else if ((type == cf::kTypeIDArray || type == cf::kTypeIDDictionary) && onPath(value)) {
            return false;
        } else if (type == cf::kTypeIDArray) {
            auto array = static_cast<CFArrayRef>(value);
            CFIndex count = CFArrayGetCount(array);
            if (!visitor.BeginArray(array, count)) return false;
            size_t base = items.size();
            items.resize(base + size_t(count));
            CFArrayGetValues(array, CFRangeMake(0, count), items.data() + base);
            enter({value, base, order.size(), count, 0, false});
        } else if (type == cf::kTypeIDDictionary) {
            auto dict = static_cast<CFDictionaryRef>(value);
            CFIndex count = CFDictionaryGetCount(dict);
            size_t base = items.size();
            items.resize(base + 2 * size_t(count));
            CFDictionaryGetKeysAndValues(dict, items.data() + base, items.data() + base + count);
            size_t orderBase = order.size();
            for (CFIndex i = 0; i < count; ++i) {
                if (cf::TypeOf(items[base + size_t(i)]) != cf::kTypeIDString) return false;
                order.push_back(uint32_t(i));
            }
            if (sortKeys && count > 1) {
                const CFTypeRef *keys = items.data() + base;
                auto less = [keys](uint32_t a, uint32_t b) {
                    return CFStringCompare(static_cast<CFStringRef>(keys[a]),
                                           static_cast<CFStringRef>(keys[b]),
                                           0) == kCFCompareLessThan;
                };
                // Dictionaries read from our own output are usually in order already.
                auto first = order.begin() + std::ptrdiff_t(orderBase);
                if (!std::is_sorted(first, order.end(), less)) std::sort(first, order.end(), less);
            }
            if (!visitor.BeginDictionary(dict, count)) return false;
            enter({value, base, orderBase, count, 0, true});
        } else {
            return false;
        }

        bool more = false;
        while (!frames.empty()) {
            Frame &frame = frames.back();
            if (frame.next < frame.count) {
                if (frame.dictionary) {
                    size_t slot = order[frame.orderBase + size_t(frame.next)];
                    if (!visitor.Key(static_cast<CFStringRef>(items[frame.base + slot])))
                        return false;
                    value = items[frame.base + size_t(frame.count) + slot];
                } else {
                    value = items[frame.base + size_t(frame.next)];
                }
                ++frame.next;
                more = true;
                break;
            }
            if (!visitor.End(frame.dictionary, frame.count)) return false;
            items.resize(frame.base);
            order.resize(frame.orderBase);
            if (frames.size() > kScannedLevels) deepPath.erase(frame.container);
            frames.pop_back();
        }
        if (!more) return true;
    }
}

} // namespace vt::plist
