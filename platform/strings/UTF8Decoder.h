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
        size_t i = 0;
        // A sequence left open by the last piece goes on byte by byte.
        while (i < length && needed_ != 0)
            Byte(bytes[i++], emit);
        while (i < length) {
            uint8_t lead = bytes[i];
            if (lead < 0x80) {
                emit(UniChar(lead));
                ++i;
                continue;
            }
            // A whole well-formed sequence at once; a bad or split one byte
            // by byte.
            uint32_t codePoint = 0;
            if (size_t size = WholeSequence(bytes + i, length - i, codePoint)) {
                EmitCodePoint(codePoint, emit);
                i += size;
                continue;
            }
            do
                Byte(bytes[i++], emit);
            while (i < length && needed_ != 0);
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
    // The length (2-4) of the well-formed sequence starting with a non-ASCII
    // byte, with its code point; 0 for anything else, a sequence cut short by
    // the end of the bytes included.
    static size_t WholeSequence(const uint8_t *bytes, size_t available, uint32_t &codePoint) {
        uint8_t lead = bytes[0];
        auto continuation = [bytes](size_t i) { return (bytes[i] & 0xC0) == 0x80; };
        if (lead < 0xC2) return 0;
        if (lead < 0xE0) {
            if (available < 2 || !continuation(1)) return 0;
            codePoint = uint32_t(lead & 0x1F) << 6 | (bytes[1] & 0x3F);
            return 2;
        }
        if (lead < 0xF0) {
            if (available < 3) return 0;
            uint8_t low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
            if (bytes[1] < low || bytes[1] > high || !continuation(2)) return 0;
            codePoint =
                uint32_t(lead & 0x0F) << 12 | uint32_t(bytes[1] & 0x3F) << 6 | (bytes[2] & 0x3F);
            return 3;
        }
        if (lead < 0xF5) {
            if (available < 4) return 0;
            uint8_t low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
            if (bytes[1] < low || bytes[1] > high || !continuation(2) || !continuation(3)) return 0;
            codePoint = uint32_t(lead & 0x07) << 18 | uint32_t(bytes[1] & 0x3F) << 12 |
                        uint32_t(bytes[2] & 0x3F) << 6 | (bytes[3] & 0x3F);
            return 4;
        }
        return 0;
    }

    template <class Emit>
    static void EmitCodePoint(uint32_t codePoint, Emit &emit) {
        if (codePoint < 0x10000) {
            emit(UniChar(codePoint));
        } else {
            codePoint -= 0x10000;
            emit(UniChar(0xD800 + (codePoint >> 10)));
            emit(UniChar(0xDC00 + (codePoint & 0x3FF)));
        }
    }

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
        EmitCodePoint(codePoint, emit);
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
