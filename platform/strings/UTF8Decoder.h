// The layer's one UTF-8 decoder: bytes in, UTF-16 units out, in pieces.
//
// Strict callers (string creation) decode everything and refuse the result
// when SawInvalid(); lossy callers (a program's output) keep the U+FFFD
// replacements. Either way a sequence split between two pieces is completed
// from the next one.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <cstddef>
#include <cstdint>

namespace vt::cf::str {

class UTF8Decoder {
  public:
    // Decodes the bytes, handing each UTF-16 unit to emit(UniChar) in order.
    // Each ill-formed subsequence (a bad lead byte, or the longest start of a
    // truncated, overlong, surrogate or out-of-range sequence) becomes one
    // U+FFFD, as the Unicode standard recommends.
    template <class Emit>
    void Decode(const uint8_t *bytes, size_t length, Emit &&emit) {
        for (size_t i = 0; i < length; ++i) {
            uint8_t byte = bytes[i];
            if (needed_ == 0 && byte < 0x80)
                emit(UniChar(byte));
            else
                Byte(byte, emit);
        }
    }

    // Ends the input: an unfinished sequence becomes one U+FFFD.
    template <class Emit>
    void Finish(Emit &&emit) {
        if (needed_ == 0) return;
        Reset();
        Replace(emit);
    }

    // Whether any ill-formed subsequence was replaced so far.
    bool SawInvalid() const { return invalid_; }

  private:
    template <class Emit>
    void Byte(uint8_t byte, Emit &emit) {
        if (needed_ == 0) {
            if (byte >= 0xC2 && byte <= 0xDF) {
                Start(1, byte & 0x1F);
            } else if (byte >= 0xE0 && byte <= 0xEF) {
                // E0 would be overlong below A0; ED would be a surrogate from A0.
                if (byte == 0xE0) lower_ = 0xA0;
                if (byte == 0xED) upper_ = 0x9F;
                Start(2, byte & 0x0F);
            } else if (byte >= 0xF0 && byte <= 0xF4) {
                // F0 would be overlong below 90; F4 beyond U+10FFFF from 90.
                if (byte == 0xF0) lower_ = 0x90;
                if (byte == 0xF4) upper_ = 0x8F;
                Start(3, byte & 0x07);
            } else {
                Replace(emit);
            }
            return;
        }
        if (byte < lower_ || byte > upper_) {
            // The sequence so far is one replacement; the byte starts afresh.
            Reset();
            Replace(emit);
            if (byte < 0x80)
                emit(UniChar(byte));
            else
                Byte(byte, emit);
            return;
        }
        lower_ = 0x80;
        upper_ = 0xBF;
        codePoint_ = (codePoint_ << 6) | (byte & 0x3F);
        if (++seen_ < needed_) return;
        uint32_t codePoint = codePoint_;
        Reset();
        if (codePoint < 0x10000) {
            emit(UniChar(codePoint));
        } else {
            codePoint -= 0x10000;
            emit(UniChar(0xD800 + (codePoint >> 10)));
            emit(UniChar(0xDC00 + (codePoint & 0x3FF)));
        }
    }

    template <class Emit>
    void Replace(Emit &emit) {
        invalid_ = true;
        emit(UniChar(0xFFFD));
    }

    void Start(int needed, uint32_t bits) {
        needed_ = needed;
        codePoint_ = bits;
    }

    void Reset() {
        needed_ = seen_ = 0;
        codePoint_ = 0;
        lower_ = 0x80;
        upper_ = 0xBF;
    }

    uint32_t codePoint_ = 0;
    int needed_ = 0;
    int seen_ = 0;
    uint8_t lower_ = 0x80;
    uint8_t upper_ = 0xBF;
    bool invalid_ = false;
};

} // namespace vt::cf::str
