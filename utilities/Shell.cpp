// Running outside programs and collecting their standard output as a string.
#include "utilities/UtilitiesPrivate.h"

#include "platform/system/Process.h"
#include "platform/values/Runtime.h"

#include <cstdint>
#include <cstdio>
#include <new>
#include <vector>

namespace {

// Output is read as UTF-8 whatever the program's own setting; the child
// inherits it.
bool SetUTF8Language() {
    return vt::platform::SetEnvironment("LANG", "en_US.UTF-8");
}

// Decodes UTF-8 into the string as pieces arrive; a character split between
// two pieces is completed from the next one. Each invalid sequence (a maximal
// subpart: a bad lead byte, or a truncated, overlong or surrogate sequence)
// becomes one U+FFFD, as the Unicode standard recommends.
class UTF8Appender final : public vt::platform::OutputReceiver {
  public:
    explicit UTF8Appender(CFMutableStringRef result) : result_(result) {}

    void Receive(const char *bytes, size_t length) noexcept override {
        for (size_t i = 0; i < length; ++i)
            Byte(static_cast<uint8_t>(bytes[i]));
    }

    // Ends the output: an unfinished sequence counts as invalid.
    void Finish() {
        if (needed_ > 0) {
            Reset();
            Put(0xFFFD);
        }
        Flush();
    }

  private:
    void Byte(uint8_t byte) {
        if (needed_ == 0) {
            if (byte < 0x80) {
                Put(byte);
            } else if (byte >= 0xC2 && byte <= 0xDF) {
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
                Put(0xFFFD);
            }
            return;
        }
        if (byte < lower_ || byte > upper_) {
            // The sequence so far is one replacement; the byte starts afresh.
            Reset();
            Put(0xFFFD);
            Byte(byte);
            return;
        }
        lower_ = 0x80;
        upper_ = 0xBF;
        codePoint_ = (codePoint_ << 6) | (byte & 0x3F);
        if (++seen_ < needed_) return;
        uint32_t codePoint = codePoint_;
        Reset();
        Put(codePoint);
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

    void Put(uint32_t codePoint) {
        if (count_ + 2 > kCapacity) Flush();
        if (codePoint < 0x10000) {
            units_[count_++] = UniChar(codePoint);
        } else {
            codePoint -= 0x10000;
            units_[count_++] = UniChar(0xD800 + (codePoint >> 10));
            units_[count_++] = UniChar(0xDC00 + (codePoint & 0x3FF));
        }
    }

    void Flush() {
        if (count_ > 0) CFStringAppendCharacters(result_, units_, CFIndex(count_));
        count_ = 0;
    }

    static constexpr size_t kCapacity = 512;
    CFMutableStringRef result_;
    UniChar units_[kCapacity];
    size_t count_ = 0;
    uint32_t codePoint_ = 0;
    int needed_ = 0;
    int seen_ = 0;
    uint8_t lower_ = 0x80;
    uint8_t upper_ = 0xBF;
};

} // namespace

extern "C" {

CFMutableStringRef VTU_DoShellScript(CFAllocatorRef allocator, const char *command) {
    CFMutableStringRef result = CFStringCreateMutable(allocator, 0);
    if (!result || !command) return result;
    if (!SetUTF8Language()) std::fputs("setenv failed\n", stderr);
    UTF8Appender appender(result);
    if (!vt::platform::RunShellCommand(command, appender)) {
        std::fputs("popen failed\n", stderr);
        return result;
    }
    appender.Finish();
    return result;
}

CFMutableStringRef VTU_ExecCommand(CFAllocatorRef allocator, const char *path,
                                   CFArrayRef arguments) {
    CFMutableStringRef result = CFStringCreateMutable(allocator, 0);
    if (!result || !path || !vt::cf::As<const void>(arguments, vt::cf::kTypeIDArray)) return result;
    // The vector is built before forking: the child may not allocate.
    std::vector<char *> argv;
    try {
        argv.resize(size_t(CFArrayGetCount(arguments)) + 1, nullptr);
    } catch (const std::bad_alloc &) {
        return result;
    }
    CFArrayGetValues(arguments, CFRangeMake(0, CFArrayGetCount(arguments)),
                     static_cast<const void **>(static_cast<void *>(argv.data())));
    SetUTF8Language();
    UTF8Appender appender(result);
    if (vt::platform::RunProgram(path, argv.data(), appender) ==
        vt::platform::ProgramStatus::kForkFailed)
        std::fputs("Can't fork\n", stderr);
    appender.Finish();
    return result;
}
}
