// Alias records and event descriptors, as a host stores them and hands them
// back. The first byte picks the surface:
//   0 alias data as stored: VTAliasDataCopyURL on the bytes
//   1 an alias record with a consistent header around a fuzzed path and
//     identity, so the decoder's resolution runs, not only its header checks
//   2 AECoerceDesc from a fuzzed descriptor to a chosen type
//   3 the builders, from a fuzzed string and a URL made of it
// A resolved alias names an existing item; a new alias for that item
// resolves to it again. A coercion that succeeds has the requested type and
// the converted bytes.
#include "fuzz/FuzzSupport.h"

#include "appleevent/AppleEventPrivate.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"

#include <Vantrell/Errors.h>

#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

using vt::CFRef;
using vt::fuzz::Fail;
using vt::fuzz::Input;

// Items the records can name: a file, a folder, a name with spaces and one
// beyond ASCII, and a symbolic link.
const std::vector<std::string> &Items() {
    static const std::vector<std::string> items = [] {
        std::string base = vt::fuzz::Scratch() + "/items";
        vt::fuzz::MakeFolders(base + "/Folder/Inner");
        vt::fuzz::WriteFile(base + "/Folder/Script.scpt", "on run\nend run\n");
        vt::fuzz::WriteFile(base + "/With Space.scpt", "");
        vt::fuzz::WriteFile(base + "/Über.scpt", "");
        ::symlink((base + "/Folder").c_str(), (base + "/Link").c_str());
        return std::vector<std::string>{base + "/Folder",
                                        base + "/Folder/Script.scpt",
                                        base + "/With Space.scpt",
                                        base + "/Über.scpt",
                                        base + "/Link",
                                        base + "/Missing"};
    }();
    return items;
}

std::string PathOf(CFURLRef url) {
    char path[4096];
    if (!CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8 *>(path), sizeof path))
        Fail("a resolved URL has no file-system path");
    return path;
}

// A resolved URL names an existing item, and an alias made for it anew
// resolves to the same item.
void CheckResolved(CFURLRef url) {
    std::string path = PathOf(url);
    struct stat item {};
    if (::stat(path.c_str(), &item) != 0) Fail("an alias resolved to a missing item", path);
    CFRef<CFDataRef> again(VTAliasDataCreateWithFileURL(nullptr, url));
    if (!again) Fail("no alias for a resolved item", path);
    CFRef<CFMutableDictionaryRef> error;
    CFRef<CFURLRef> second(VTAliasDataCopyURL(nullptr, again.get(), error.Out()));
    if (!second || error) Fail("a fresh alias does not resolve", path);
    if (PathOf(second.get()) != path) Fail("a fresh alias resolves elsewhere", path);
}

void Resolve(const std::string &bytes) {
    CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()),
                                       CFIndex(bytes.size())));
    CFRef<CFMutableDictionaryRef> error;
    CFRef<CFURLRef> url(VTAliasDataCopyURL(nullptr, data.get(), error.Out()));
    if (url) {
        if (error) Fail("an alias resolved and reported an error");
        CheckResolved(url.get());
        return;
    }
    if (!error) Fail("an alias failed without an error record");
    CFIndex code = VTU_ErrorGetCode(error.get());
    if (code != -35 && code != -43 && code != -50 && code != -109)
        Fail("an alias failed with an undocumented code", std::to_string(code));
}

void Put(std::string &record, size_t at, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, value >>= 8)
        record[at + size_t(i)] = char(value & 0xFF);
}

// A well-formed record around a path: one of the items, or fuzzed text.
// The identity is the item's own or a fuzzed one.
void ResolveBuilt(Input &in) {
    uint8_t choice = in.Byte();
    std::string path = choice & 1 ? Items()[(choice >> 1) % Items().size()] : in.Bytes(256);
    if (path.empty()) path = "/";
    struct stat item {};
    uint64_t device = 0, inode = 0;
    if (choice & 0x80 && ::stat(path.c_str(), &item) == 0) {
        device = item.st_dev;
        inode = item.st_ino;
    } else {
        for (int i = 0; i < 8; ++i)
            device = device << 8 | in.Byte(), inode = inode << 8 | in.Byte();
    }
    std::string record(32, '\0');
    record.replace(0, 4, "VTAL");
    Put(record, 4, 1, 2);
    Put(record, 8, 32 + path.size() + 1, 4);
    Put(record, 12, device, 8);
    Put(record, 20, inode, 8);
    Put(record, 28, path.size(), 4);
    record += path;
    record += '\0';
    // Then let the rest of the input damage it, byte by byte.
    while (!in.Empty()) {
        size_t at = in.Byte() % record.size();
        record[at] = char(in.Byte());
    }
    Resolve(record);
}

const DescType kTypes[] = {typeBoolean, typeUTF8Text, typeUnicodeText, typeData,
                           typeFSRef,   typeAlias,    typeURL,         typeNull};

std::string BytesOf(const AEDesc &desc) {
    Size size = AEGetDescDataSize(&desc);
    std::string bytes(size_t(size), '\0');
    if (size > 0 && AEGetDescData(&desc, bytes.data(), size) != noErr)
        Fail("a descriptor's data cannot be read");
    return bytes;
}

// What coercing UTF-8 to UTF-16 must give, or false for invalid UTF-8.
bool ExpectedUnicode(const std::string &utf8, std::string &out) {
    CFRef<CFStringRef> text(
        CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8 *>(utf8.data()),
                                CFIndex(utf8.size()), kCFStringEncodingUTF8, false));
    if (!text) return false;
    std::vector<UniChar> units(size_t(CFStringGetLength(text.get())));
    CFStringGetCharacters(text.get(), CFRangeMake(0, CFIndex(units.size())), units.data());
    out.assign(reinterpret_cast<const char *>(units.data()), units.size() * sizeof(UniChar));
    return true;
}

void Coerce(Input &in) {
    uint8_t types = in.Byte();
    DescType from = kTypes[types & 7], to = kTypes[(types >> 3) & 7];
    bool inPlace = types & 0x40;
    std::string bytes;
    if (from == typeFSRef && (types & 0x80)) {
        // A real reference, so that the alias coercion gets past validation.
        FSRef ref;
        const std::string &path = Items()[in.Byte() % Items().size()];
        if (FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr) != noErr)
            return;
        bytes.assign(reinterpret_cast<const char *>(&ref), sizeof ref);
    } else {
        bytes = in.Bytes(4096);
    }
    AEDesc source;
    if (AECreateDesc(from, bytes.data(), Size(bytes.size()), &source) != noErr)
        Fail("a descriptor cannot be made");
    if (BytesOf(source) != bytes) Fail("a descriptor does not hold its bytes");
    AEDesc result;
    AEInitializeDesc(&result);
    AEDesc *target = inPlace ? &source : &result;
    AEDesc kept = source; // still owned when coerced in place
    OSErr status = AECoerceDesc(&source, to, target);
    if (status != noErr) {
        if (target->descriptorType != typeNull || target->dataHandle)
            Fail("a failed coercion left a descriptor behind");
        if (inPlace)
            AEDisposeDesc(&kept);
        else
            AEDisposeDesc(&source);
        return;
    }
    if (target->descriptorType != to) Fail("a coercion gave another type");
    std::string made = BytesOf(*target);
    std::string expected;
    if (from == to || (from == typeUTF8Text && to == typeURL)) {
        if (made != bytes) Fail("a copying coercion changed the bytes");
    } else if (from == typeUTF8Text && to == typeUnicodeText) {
        if (!ExpectedUnicode(bytes, expected) || made != expected)
            Fail("UTF-8 to UTF-16 gave other units");
    } else if (from == typeFSRef && to == typeAlias) {
        Resolve(made);
    } else {
        Fail("an unsupported pair coerced");
    }
    AEDisposeDesc(target);
    if (inPlace)
        AEDisposeDesc(&kept);
    else
        AEDisposeDesc(&source);
}

void Build(Input &in) {
    uint8_t how = in.Byte();
    std::string bytes = in.Bytes(1024);
    CFRef<CFStringRef> text(CFStringCreateWithBytes(
        nullptr, reinterpret_cast<const UInt8 *>(bytes.data()), CFIndex(bytes.size()),
        how & 1 ? kCFStringEncodingUTF16 : kCFStringEncodingUTF8, false));
    if (!text) return;
    AEDesc desc;
    AEInitializeDesc(&desc);
    if (VTCreateUTF8DescWithCFString(text.get(), &desc) == noErr) {
        std::string utf8 = BytesOf(desc);
        if (utf8.find('\0') != std::string::npos) Fail("UTF-8 text holds a NUL");
        AEDesc unicode;
        AEInitializeDesc(&unicode);
        std::string expected;
        if (VTCreateUnicodeDescWithCFString(text.get(), &unicode) != noErr ||
            !ExpectedUnicode(utf8, expected) || BytesOf(unicode) != expected)
            Fail("the UTF-16 descriptor differs from the UTF-8 one");
        AEDisposeDesc(&unicode);
    }
    AEDisposeDesc(&desc);

    // A URL of the text, as a string or as a path under the items, and each
    // URL builder on it.
    CFRef<CFURLRef> url;
    if (how & 2) {
        url.Reset(CFURLCreateWithString(nullptr, text.get(), nullptr));
    } else {
        std::string path = Items()[0] + "/" + bytes;
        url.Reset(CFURLCreateFromFileSystemRepresentation(
            nullptr, reinterpret_cast<const UInt8 *>(path.data()), CFIndex(path.size()), how & 4));
    }
    if (!url) return;
    using Builder = OSStatus (*)(CFURLRef, AEDesc *);
    for (Builder build :
         {Builder(VTCreateUTF8TextDescWithURL), Builder(VTCreatePOSIXPathDescWithURL),
          Builder(VTCreateFSRefDescWithFileURL), Builder(VTCreateAliasDescWithFileURL),
          Builder(VTCreateAEDescWithURLString)}) {
        AEDesc made;
        AEInitializeDesc(&made);
        OSStatus status = build(url.get(), &made);
        if (status != noErr && (made.descriptorType != typeNull || made.dataHandle))
            Fail("a failed builder left a descriptor behind");
        if (status == noErr && build == Builder(VTCreateAliasDescWithFileURL))
            Resolve(BytesOf(made));
        AEDisposeDesc(&made);
    }
    CFRef<CFDataRef> alias(VTAliasDataCreateWithFileURL(nullptr, url.get()));
    if (alias) {
        CFRef<CFMutableDictionaryRef> error;
        CFRef<CFURLRef> resolved(VTAliasDataCopyURL(nullptr, alias.get(), error.Out()));
        if (!resolved) Fail("a fresh alias of a URL does not resolve");
        CheckResolved(resolved.get());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Input in(data, size);
    switch (in.Byte() % 4) {
        case 0:
            Resolve(in.Bytes(size));
            break;
        case 1:
            ResolveBuilt(in);
            break;
        case 2:
            Coerce(in);
            break;
        case 3:
            Build(in);
            break;
    }
    return 0;
}
