// Turns the element events of an XML property list into values. It knows
// nothing of XML syntax: a tokenizer feeds it element starts and ends and
// character data (valid UTF-8, entities already replaced), and reports the
// position when a call fails. Nesting is tracked on an explicit stack, so
// hostile depth never reaches the C stack.
#pragma once

#include "ValueStack.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vt::plist {

// Shares one immutable string among equal texts of one document: keys, and
// string values when the leaves are immutable. Thousands of "Kind" keys, or
// of one library's ID among the owners, then cost one object. A text joins
// the table at its second sighting, so the many texts that occur once (file
// IDs) never fill it. Only short texts are kept, and only so many, which
// bounds the table whatever the input.
class SharedStrings {
  public:
    SharedStrings() = default;
    ~SharedStrings();
    SharedStrings(const SharedStrings &) = delete;
    SharedStrings &operator=(const SharedStrings &) = delete;

    // A new reference to an immutable string of the text, and its CFHash
    // when `hash` is given; NULL when memory runs out.
    CFStringRef Create(CFAllocatorRef allocator, const char *bytes, size_t length,
                       CFHashCode *hash);

  private:
    struct Slot {
        uint64_t hash;
        uint32_t offset; // into bytes_
        uint32_t length;
        CFStringRef string; // null: empty slot
        CFHashCode cfHash;  // CFHash(string), worked out once
    };
    static constexpr size_t kNoSlot = SIZE_MAX;

    bool Admit(uint64_t hash);
    void Grow();
    size_t FreeSlot(uint64_t hash, size_t limit) const;

    std::vector<Slot> slots_;    // a power of two, at most half used
    std::vector<uint32_t> seen_; // per hash bucket, the last text sighted once
    std::string bytes_;
    size_t used_ = 0;
};

class XMLBuilder {
  public:
    static constexpr size_t kMaxDepth = 512;

    enum class Element : uint8_t {
        None,
        Plist,
        Array,
        Dict,
        Key,
        String,
        Integer,
        Real,
        Date,
        Data,
        True,
        False,
    };
    // The element a name stands for; None for any name a property list does
    // not use.
    static Element Lookup(const char *name, size_t length);
    static bool IsLeaf(Element element) { return element >= Element::Key; }

    XMLBuilder(CFAllocatorRef allocator, CFOptionFlags options);
    XMLBuilder(const XMLBuilder &) = delete;
    XMLBuilder &operator=(const XMLBuilder &) = delete;

    // Each returns false when the document is not a valid property list, with
    // Message() saying why. The tokenizer guarantees proper nesting and stops
    // at the first failure.
    bool StartElement(const char *name, size_t length);
    // The same for an element already looked up; the name is only quoted in
    // messages.
    bool StartElement(Element element, const char *name, size_t length);
    bool Characters(const char *text, size_t length);
    bool EndElement();
    // Ends the open leaf whose remaining text is tail. When no text came
    // before through Characters, the value is made from tail in place, with
    // no copy.
    bool EndLeaf(const char *tail, size_t length);
    bool InLeaf() const { return leaf_ != Element::None; }
    // At the end of the document: the root value (the caller owns it), or
    // NULL when the document held none.
    CFPropertyListRef Finish();

    const std::string &Message() const { return message_; }

  private:
    bool Fail(std::string message);
    std::nullptr_t Reject(std::string message);
    bool FinishLeaf(const char *text, size_t length);
    CFTypeRef MakeInteger(const char *text, size_t length);
    CFTypeRef MakeReal(const char *text, size_t length);
    CFTypeRef MakeDate(const char *text, size_t length);
    CFTypeRef MakeData(const char *text, size_t length);

    ValueStack stack_;
    SharedStrings strings_;
    Element leaf_ = Element::None; // the open element that holds text, if any
    bool inPlist_ = false;
    std::string text_; // the open leaf's text, reused from leaf to leaf
    std::vector<UInt8> bytes_;
    std::string message_;
};

} // namespace vt::plist
