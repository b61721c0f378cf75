// What the fuzz targets share: a scratch folder per process that stands in
// for every real folder (working directory, domain Scripts folders), and the
// failure report that stops a run.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace vt::fuzz {

// A folder made once per process (under $TMPDIR, /dev/shm or /tmp) and removed at exit. The first
// call also points the folder look-up into it: each domain's Scripts folder
// is <scratch>/root/{User,Local,Network}/Library/Scripts (made here).
const std::string &Scratch();

// Makes a folder and its missing parents; writes a whole file.
void MakeFolders(const std::string &path);
void WriteFile(const std::string &path, const std::string &contents);

// Prints what went wrong and aborts, which libFuzzer and the replay runner
// both take as a failed input.
[[noreturn]] void Fail(const char *what, const std::string &detail = "");

// A value's XML form for failure reports ("<unwritable>" when it has none).
std::string Describe(CFTypeRef value);

// Reads the input front to back; past its end every read gives zeros, so a
// short input still decodes to a full (if dull) sequence.
class Input {
  public:
    Input(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return offset_ >= size_; }
    uint8_t Byte() { return offset_ < size_ ? data_[offset_++] : 0; }
    // Up to `most` bytes (fewer near the end), as a string.
    std::string Bytes(size_t most);

  private:
    const uint8_t *data_;
    size_t size_;
    size_t offset_ = 0;
};

} // namespace vt::fuzz
