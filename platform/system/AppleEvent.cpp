// Event descriptors: a type code and a malloc'd block holding the byte count
// and then the bytes. A descriptor without bytes has no block at all.
#include <ApplicationServices/ApplicationServices.h>

#include "platform/values/Holder.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

struct OpaqueAEDataStorage {
    Size size;
    unsigned char *Bytes() { return reinterpret_cast<unsigned char *>(this + 1); }
};

namespace {

AEDesc NullDesc() {
    return AEDesc{typeNull, nullptr};
}

OSErr Create(DescType type, const void *bytes, Size size, AEDesc &result) {
    result = NullDesc();
    if (size < 0 || (size > 0 && !bytes)) return paramErr;
    if (size > 0) {
        if (size_t(size) > SIZE_MAX - sizeof(OpaqueAEDataStorage)) return memFullErr;
        void *memory = std::malloc(sizeof(OpaqueAEDataStorage) + size_t(size));
        if (!memory) return memFullErr;
        auto *storage = new (memory) OpaqueAEDataStorage{size};
        std::memcpy(storage->Bytes(), bytes, size_t(size));
        result.dataHandle = storage;
    }
    result.descriptorType = type;
    return noErr;
}

const unsigned char *BytesOf(const AEDesc &desc) {
    return desc.dataHandle ? desc.dataHandle->Bytes() : nullptr;
}

Size SizeOf(const AEDesc &desc) {
    return desc.dataHandle ? desc.dataHandle->size : 0;
}

OSErr UTF8ToUnicode(const AEDesc &source, AEDesc &result) {
    vt::CFRef<CFStringRef> text(CFStringCreateWithBytes(
        kCFAllocatorDefault, BytesOf(source), SizeOf(source), kCFStringEncodingUTF8, false));
    if (!text) return errAECoercionFail;
    std::vector<UniChar> units(size_t(CFStringGetLength(text.get())));
    CFStringGetCharacters(text.get(), CFRangeMake(0, CFIndex(units.size())), units.data());
    return Create(typeUnicodeText, units.data(), Size(units.size() * sizeof(UniChar)), result);
}

OSErr FSRefToAlias(const AEDesc &source, AEDesc &result) {
    FSRef ref;
    if (SizeOf(source) != Size(sizeof ref)) return errAECoercionFail;
    std::memcpy(&ref, BytesOf(source), sizeof ref);
    AliasHandle alias = nullptr;
    OSErr status = FSNewAlias(nullptr, &ref, &alias);
    // A damaged reference is data that do not convert; a vanished item keeps
    // its own status.
    if (status == paramErr) return errAECoercionFail;
    if (status != noErr) return status;
    status = Create(typeAlias, *alias, GetAliasSize(alias), result);
    DisposeHandle(reinterpret_cast<Handle>(alias));
    return status;
}

OSErr Coerce(const AEDesc &source, DescType toType, AEDesc &result) {
    if (source.descriptorType == toType ||
        (source.descriptorType == typeUTF8Text && toType == typeURL))
        return Create(toType, BytesOf(source), SizeOf(source), result);
    if (source.descriptorType == typeUTF8Text && toType == typeUnicodeText)
        return UTF8ToUnicode(source, result);
    if (source.descriptorType == typeFSRef && toType == typeAlias)
        return FSRefToAlias(source, result);
    return errAECoercionFail;
}

} // namespace

extern "C" {

void AEInitializeDesc(AEDesc *desc) {
    if (desc) *desc = NullDesc();
}

OSErr AECreateDesc(DescType typeCode, const void *dataPtr, Size dataSize, AEDesc *result) {
    if (!result) return paramErr;
    return Create(typeCode, dataPtr, dataSize, *result);
}

OSErr AECoerceDesc(const AEDesc *theAEDesc, DescType toType, AEDesc *result) {
    if (!theAEDesc || !result) return paramErr;
    // Built aside, so that result may be the source itself.
    AEDesc made = NullDesc();
    OSErr status;
    try {
        status = Coerce(*theAEDesc, toType, made);
    } catch (const std::bad_alloc &) {
        status = memFullErr;
    }
    *result = status == noErr ? made : NullDesc();
    return status;
}

OSErr AEDisposeDesc(AEDesc *theAEDesc) {
    if (!theAEDesc) return paramErr;
    std::free(theAEDesc->dataHandle);
    *theAEDesc = NullDesc();
    return noErr;
}

Size AEGetDescDataSize(const AEDesc *theAEDesc) {
    return theAEDesc ? SizeOf(*theAEDesc) : 0;
}

OSErr AEGetDescData(const AEDesc *theAEDesc, void *dataPtr, Size maximumSize) {
    if (!theAEDesc || !dataPtr || maximumSize < 0) return paramErr;
    Size count = SizeOf(*theAEDesc) < maximumSize ? SizeOf(*theAEDesc) : maximumSize;
    if (count > 0) std::memcpy(dataPtr, BytesOf(*theAEDesc), size_t(count));
    return noErr;
}

} // extern "C"
