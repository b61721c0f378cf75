// Running outside programs and collecting their standard output as a string.
#include "utilities/UtilitiesPrivate.h"

#include "platform/strings/UTF8Decoder.h"
#include "platform/system/Process.h"
#include "platform/values/Cast.h"
#include "platform/values/Guard.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// Output is read as UTF-8 whatever the program's own setting; the child
// inherits it.
bool SetUTF8Language() {
    return vt::platform::SetEnvironment("LANG", "en_US.UTF-8");
}

// Appends the program's output to the string as pieces arrive, decoded as
// UTF-8 with U+FFFD for bytes that are not (the layer's decoder).
class UTF8Appender final : public vt::platform::OutputReceiver {
  public:
    explicit UTF8Appender(CFMutableStringRef result) : result_(result) {}

    void Receive(const char *bytes, size_t length) noexcept override {
        decoder_.Decode(reinterpret_cast<const uint8_t *>(bytes), length,
                        [this](UniChar unit) { Put(unit); });
    }

    // Ends the output: an unfinished sequence counts as invalid.
    void Finish() {
        decoder_.Finish([this](UniChar unit) { Put(unit); });
        Flush();
    }

  private:
    void Put(UniChar unit) {
        if (count_ == kCapacity) Flush();
        units_[count_++] = unit;
    }

    void Flush() {
        if (count_ > 0) CFStringAppendCharacters(result_, units_, CFIndex(count_));
        count_ = 0;
    }

    static constexpr size_t kCapacity = 512;
    CFMutableStringRef result_;
    vt::cf::str::UTF8Decoder decoder_;
    UniChar units_[kCapacity];
    size_t count_ = 0;
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
    if (!result || !path || !vt::cf::Cast<CFArrayRef>(arguments)) return result;
    // The vector is built before forking: the child may not allocate.
    std::vector<char *> argv;
    bool made = vt::Guard(false, [&] {
        argv.resize(size_t(CFArrayGetCount(arguments)) + 1, nullptr);
        return true;
    });
    if (!made) return result;
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
