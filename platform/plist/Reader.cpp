// The XML reader. UTF-8 documents go through the scanner (Scanner.cpp), which
// reads the bytes in place; whatever it refuses or does not judge is read
// again by expat, so a verdict, a value or an error always matches expat's.
// In the expat reader, expat tokenizes and checks well-formedness, XMLBuilder
// turns the element events into values as they stream past (no document
// tree). Anything that could declare or pull in entities is refused, so the
// input alone decides the output and its size. Single-byte encodings that
// expat does not know itself are mapped through the C library's iconv.
#include "PropertyListInternal.h"
#include "Scanner.h"
#include "XMLBuilder.h"

#include "platform/values/Holder.h"
#include "platform/values/Runtime.h"

#include <expat.h>
#include <fcntl.h>
#include <iconv.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

namespace vt::plist {

namespace {

// Only names of the XML EncName form reach iconv, so no "//" suffix or path
// can change what iconv_open does.
bool IsEncodingName(const char *name) {
    if (!name || !std::isalpha(static_cast<unsigned char>(*name))) return false;
    for (const char *c = name + 1; *c; ++c)
        if (!std::isalnum(static_cast<unsigned char>(*c)) && !std::strchr("._-", *c)) return false;
    return std::strlen(name) < 64;
}

// Fills map with the code point of every byte of a single-byte encoding, -1
// for bytes the encoding leaves undefined. Returns false for an encoding
// iconv does not know, and for any multi-byte or stateful one: a byte that
// starts a longer sequence, shifts state or stands for more than one
// character cannot be described by a byte map.
bool MapSingleByteEncoding(const char *name, int map[256]) {
    if (!IsEncodingName(name)) return false;
    iconv_t cd = iconv_open("UTF-32LE", name);
    if (cd == iconv_t(-1)) return false;
    bool ok = true;
    for (int byte = 0; byte < 256 && ok; ++byte) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char in = char(byte);
        unsigned char out[8];
        char *inPtr = &in, *outPtr = reinterpret_cast<char *>(out);
        size_t inLeft = 1, outLeft = sizeof out;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1)) {
            if (errno == EILSEQ) {
                map[byte] = -1;
                continue;
            }
            ok = false; // EINVAL: the byte only starts a sequence; E2BIG: several characters
            break;
        }
        // Flush any pending state; a stateful encoding would write here.
        if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == size_t(-1) ||
            sizeof out - outLeft != 4) {
            ok = false;
            break;
        }
        uint32_t c = uint32_t(out[0]) | uint32_t(out[1]) << 8 | uint32_t(out[2]) << 16 |
                     uint32_t(out[3]) << 24;
        if (c > 0xFFFF) ok = false; // expat's byte maps hold the BMP only
        map[byte] = int(c);
    }
    iconv_close(cd);
    return ok;
}

class ExpatReader {
  public:
    ExpatReader(CFAllocatorRef allocator, CFOptionFlags options)
        : builder_(allocator, options), parser_(XML_ParserCreate(nullptr)) {
        if (!parser_) {
            error_.message = "out of memory";
            return;
        }
        XML_SetUserData(parser_, this);
        XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
        XML_SetElementHandler(parser_, OnStart, OnEnd);
        XML_SetCharacterDataHandler(parser_, OnText);
        XML_SetStartDoctypeDeclHandler(parser_, OnDoctype);
        XML_SetEntityDeclHandler(parser_, OnEntityDecl);
        XML_SetExternalEntityRefHandler(parser_, OnExternalEntity);
        XML_SetSkippedEntityHandler(parser_, OnSkippedEntity);
        XML_SetUnknownEncodingHandler(parser_, OnUnknownEncoding, nullptr);
    }
    ~ExpatReader() {
        if (parser_) XML_ParserFree(parser_);
    }
    ExpatReader(const ExpatReader &) = delete;
    ExpatReader &operator=(const ExpatReader &) = delete;

    bool Failed() const { return !parser_ || failed_; }
    const ParseError &Error() const { return error_; }

    // Feeds the next piece of the document.
    bool Parse(const char *bytes, size_t length, bool final) {
        do {
            int piece = length > size_t(INT_MAX) ? INT_MAX : int(length);
            bool last = final && size_t(piece) == length;
            if (XML_Parse(parser_, bytes, piece, last) != XML_STATUS_OK) return ExpatFailed();
            bytes += piece;
            length -= size_t(piece);
        } while (length > 0);
        return true;
    }

    // Reads the whole stream in 64 KiB pieces straight into expat's buffer.
    bool ParseStream(FILE *stream) {
        constexpr int kPiece = 64 * 1024;
        while (true) {
            void *buffer = XML_GetBuffer(parser_, kPiece);
            if (!buffer) return ExpatFailed();
            size_t got = std::fread(buffer, 1, kPiece, stream);
            if (std::ferror(stream)) {
                error_ = {0, 0, std::string("read error: ") + std::strerror(errno)};
                failed_ = true;
                return false;
            }
            bool final = got < size_t(kPiece) && std::feof(stream);
            if (XML_ParseBuffer(parser_, int(got), final) != XML_STATUS_OK) return ExpatFailed();
            if (final) return true;
        }
    }

    // After the last piece: the root value, or NULL with Error() filled in.
    CFPropertyListRef Finish() {
        CFPropertyListRef root = builder_.Finish();
        if (!root) Fail(builder_.Message());
        return root;
    }

  private:
    static ExpatReader &Self(void *user) { return *static_cast<ExpatReader *>(user); }

    static void XMLCALL OnStart(void *user, const XML_Char *name, const XML_Char **) {
        ExpatReader &self = Self(user);
        if (!self.failed_ && !self.builder_.StartElement(name, std::strlen(name)))
            self.Fail(self.builder_.Message());
    }
    static void XMLCALL OnEnd(void *user, const XML_Char *) {
        ExpatReader &self = Self(user);
        if (!self.failed_ && !self.builder_.EndElement()) self.Fail(self.builder_.Message());
    }
    static void XMLCALL OnText(void *user, const XML_Char *text, int length) {
        ExpatReader &self = Self(user);
        if (!self.failed_ && !self.builder_.Characters(text, size_t(length)))
            self.Fail(self.builder_.Message());
    }
    // Refused before the subset is read, so no entity is ever declared.
    static void XMLCALL OnDoctype(void *user, const XML_Char *, const XML_Char *, const XML_Char *,
                                  int hasInternalSubset) {
        if (hasInternalSubset) Self(user).Fail("DOCTYPE with an internal subset");
    }
    static void XMLCALL OnEntityDecl(void *user, const XML_Char *, int, const XML_Char *, int,
                                     const XML_Char *, const XML_Char *, const XML_Char *,
                                     const XML_Char *) {
        Self(user).Fail("entity declaration");
    }
    static int XMLCALL OnExternalEntity(XML_Parser parser, const XML_Char *, const XML_Char *,
                                        const XML_Char *, const XML_Char *) {
        Self(XML_GetUserData(parser)).Fail("external entity reference");
        return XML_STATUS_ERROR;
    }
    static void XMLCALL OnSkippedEntity(void *user, const XML_Char *name, int) {
        Self(user).Fail(std::string("undefined entity &") + name + ";");
    }

    // Refusing leaves expat to report "unknown encoding" at the declaration.
    static int XMLCALL OnUnknownEncoding(void *, const XML_Char *name, XML_Encoding *info) {
        info->convert = nullptr;
        info->data = nullptr;
        info->release = nullptr;
        return MapSingleByteEncoding(name, info->map) ? XML_STATUS_OK : XML_STATUS_ERROR;
    }

    // Records the first failure at the current position and stops expat.
    void Fail(const std::string &message) {
        if (failed_) return;
        failed_ = true;
        error_.line = CFIndex(XML_GetCurrentLineNumber(parser_));
        error_.column = CFIndex(XML_GetCurrentColumnNumber(parser_)) + 1;
        error_.message = message;
        XML_StopParser(parser_, XML_FALSE);
    }

    bool ExpatFailed() {
        if (!failed_) {
            failed_ = true;
            error_.line = CFIndex(XML_GetCurrentLineNumber(parser_));
            error_.column = CFIndex(XML_GetCurrentColumnNumber(parser_)) + 1;
            error_.message = XML_ErrorString(XML_GetErrorCode(parser_));
        }
        return false;
    }

    XMLBuilder builder_;
    XML_Parser parser_;
    bool failed_ = false;
    ParseError error_;
};

template <class Feed>
CFPropertyListRef Read(CFAllocatorRef allocator, CFOptionFlags options, ParseError *error,
                       Feed feed) {
    CFPropertyListRef result = nullptr;
    try {
        ExpatReader reader(allocator, options);
        if (!reader.Failed() && feed(reader)) result = reader.Finish();
        if (!result && error) *error = reader.Error();
    } catch (const std::bad_alloc &) {
        if (error) *error = {0, 0, "out of memory"};
    }
    return result;
}

// Only UTF-8 and US-ASCII reach the scanner: a UTF-16 or UTF-32 document
// (a byte-order mark, or NUL bytes among the first characters) goes straight
// to expat, and the scanner itself defers to expat when the XML declaration
// names any other encoding (compared without regard to case).
bool MayBeUTF8(const unsigned char *bytes, size_t length) {
    if (length >= 2 &&
        ((bytes[0] == 0xFE && bytes[1] == 0xFF) || (bytes[0] == 0xFF && bytes[1] == 0xFE)))
        return false;
    for (size_t i = 0; i < length && i < 4; ++i)
        if (bytes[i] == 0) return false;
    return true;
}

// The scanner first; expat reads the same bytes again for the verdict when
// the scanner stops.
CFPropertyListRef ReadBytes(CFAllocatorRef allocator, const unsigned char *bytes, size_t length,
                            CFOptionFlags options, ParseError *error, ScanProgress progress,
                            void *context) {
    if (MayBeUTF8(bytes, length)) {
        CFPropertyListRef value = nullptr;
        if (ScanXML(allocator, bytes, length, options, &value, nullptr, progress, context) ==
            ScanStatus::Value)
            return value;
    }
    return CreateFromXMLBytesWithExpat(allocator, bytes, length, options, error);
}

// A file mapped for one scan. Pages the scan has gone past are dropped as it
// reports progress, so a large document does not stay resident next to its
// values.
// The mapping is private and read-only: a dropped page comes back from the
// file if expat has to read the bytes again.
class MappedFile {
  public:
    explicit MappedFile(int fd, size_t length) : length_(length) {
        if (length == 0) return;
        void *address = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
        if (address == MAP_FAILED) return;
        // No MADV_SEQUENTIAL: its wider fault-around keeps more pages
        // resident than the scan needs.
        address_ = static_cast<unsigned char *>(address);
    }
    ~MappedFile() {
        if (address_) munmap(address_, length_);
    }
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    const unsigned char *Bytes() const { return address_; }

    static void Consumed(void *self, size_t offset) {
        auto &file = *static_cast<MappedFile *>(self);
        static const size_t page = size_t(sysconf(_SC_PAGESIZE));
        size_t end = offset / page * page;
        if (end > file.dropped_) {
            madvise(file.address_ + file.dropped_, end - file.dropped_, MADV_DONTNEED);
            file.dropped_ = end;
        }
    }

  private:
    unsigned char *address_ = nullptr;
    size_t length_;
    size_t dropped_ = 0;
};

// The whole stream, for files that cannot be mapped (pipes, devices).
bool ReadWhole(int fd, std::string &out, ParseError *error) {
    char buffer[64 * 1024];
    while (true) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            if (error) *error = {0, 0, std::string("read error: ") + std::strerror(errno)};
            return false;
        }
        out.append(buffer, size_t(got));
    }
}

} // namespace

CFPropertyListRef CreateFromXMLBytesWithExpat(CFAllocatorRef allocator, const void *bytes,
                                              size_t length, CFOptionFlags options,
                                              ParseError *error) {
    if (!bytes && length) {
        if (error) *error = {0, 0, "no data"};
        return nullptr;
    }
    return Read(allocator, options, error, [&](ExpatReader &reader) {
        return reader.Parse(static_cast<const char *>(bytes), length, true);
    });
}

CFPropertyListRef CreateFromXMLFileWithExpat(CFAllocatorRef allocator, const char *path,
                                             CFOptionFlags options, ParseError *error) {
    FILE *stream = path ? std::fopen(path, "rb") : nullptr;
    if (!stream) {
        if (error) *error = {0, 0, path ? std::strerror(errno) : "no path"};
        return nullptr;
    }
    CFPropertyListRef result = Read(
        allocator, options, error, [&](ExpatReader &reader) { return reader.ParseStream(stream); });
    std::fclose(stream);
    return result;
}

std::string Describe(const ParseError &error) {
    if (error.line <= 0) return error.message;
    return "line " + std::to_string(error.line) + ", column " + std::to_string(error.column) +
           ": " + error.message;
}

CFPropertyListRef CreateFromXMLBytes(CFAllocatorRef allocator, const void *bytes, size_t length,
                                     CFOptionFlags options, ParseError *error) {
    if (!bytes) return CreateFromXMLBytesWithExpat(allocator, bytes, length, options, error);
    // UTF-8 and US-ASCII take the scanner; other encodings go to expat (see
    // MayBeUTF8 and the scanner's XML declaration).
    return ReadBytes(allocator, static_cast<const unsigned char *>(bytes), length, options, error,
                     nullptr, nullptr);
}

CFPropertyListRef CreateFromXMLFile(CFAllocatorRef allocator, const char *path,
                                    CFOptionFlags options, ParseError *error) {
    int fd = path ? open(path, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) {
        if (error) *error = {0, 0, path ? std::strerror(errno) : "no path"};
        return nullptr;
    }
    // The scanner needs the bytes in one piece: the file mapped, or read
    // whole when it cannot be mapped. As in CreateFromXMLBytes, UTF-8 and
    // US-ASCII take the scanner and other encodings go to expat.
    struct stat info;
    CFPropertyListRef result = nullptr;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        MappedFile file(fd, size_t(info.st_size));
        if (file.Bytes()) {
            result = ReadBytes(allocator, file.Bytes(), size_t(info.st_size), options, error,
                               MappedFile::Consumed, &file);
            close(fd);
            return result;
        }
    }
    try {
        std::string bytes;
        if (ReadWhole(fd, bytes, error))
            result = ReadBytes(allocator, reinterpret_cast<const unsigned char *>(bytes.data()),
                               bytes.size(), options, error, nullptr, nullptr);
    } catch (const std::bad_alloc &) {
        if (error) *error = {0, 0, "out of memory"};
    }
    close(fd);
    return result;
}

} // namespace vt::plist

using namespace vt;

namespace {

CFPropertyListRef ReadData(CFAllocatorRef allocator, CFDataRef data, CFOptionFlags options,
                           plist::ParseError &error) {
    if (!cf::As<const void>(data, cf::kTypeIDData)) {
        error = {0, 0, "no data"};
        return nullptr;
    }
    return plist::CreateFromXMLBytes(allocator, CFDataGetBytePtr(data),
                                     size_t(CFDataGetLength(data)), options, &error);
}

} // namespace

extern "C" {

CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef allocator, CFDataRef xmlData,
                                                  CFOptionFlags mutabilityOption,
                                                  CFStringRef *errorString) {
    if (errorString) *errorString = nullptr;
    plist::ParseError error;
    CFPropertyListRef result = ReadData(allocator, xmlData, mutabilityOption, error);
    if (!result && errorString) {
        try {
            std::string text = plist::Describe(error);
            *errorString =
                CFStringCreateWithBytes(allocator, reinterpret_cast<const UInt8 *>(text.data()),
                                        CFIndex(text.size()), kCFStringEncodingUTF8, false);
        } catch (const std::bad_alloc &) {
        }
    }
    return result;
}

CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef allocator, CFDataRef data,
                                               CFOptionFlags options, CFPropertyListFormat *format,
                                               CFErrorRef *error) {
    if (error) *error = nullptr;
    plist::ParseError failure;
    CFPropertyListRef result = ReadData(allocator, data, options, failure);
    if (result) {
        if (format) *format = kCFPropertyListXMLFormat_v1_0;
    } else if (error) {
        try {
            *error = plist::CreateError(kCFPropertyListReadCorruptError, plist::Describe(failure));
        } catch (const std::bad_alloc &) {
        }
    }
    return result;
}

} // extern "C"
