// Property sets: each library's title and the other attributes the host
// records about it, kept in the document's Properties table.
#include "errors/ErrorsPrivate.h"
#include "tables/TablesPrivate.h"

#include <Vantrell/Document.h>
#include <Vantrell/Errors.h>

#include "document/Tables.h"
#include "tables/TableSupport.h"

using vt::CFRef;

namespace {

CFMutableDictionaryRef PropertiesTable() {
    return vt::doc::Table(kVTTopLevelKeyProperties);
}

} // namespace

extern "C" {

CFMutableDictionaryRef VTPrivate_GetOneProperty(CFAllocatorRef allocator, CFStringRef propertyID,
                                                CFMutableDictionaryRef *outError) {
    if (!vt::cf::Cast<CFStringRef>(propertyID)) {
        vt::errors::HandBack(VTErrorCreateNULLParamFormat(allocator, "VTPrivate_GetOneProperty"),
                             outError);
        return nullptr;
    }
    CFMutableDictionaryRef table = PropertiesTable();
    if (!table) {
        vt::errors::HandBack(
            vt::errors::CreateCantFindContainer(allocator, "VTPrivate_GetOneProperty"), outError);
        return nullptr;
    }
    return vt::doc::GetMutableDictionary(table, propertyID);
}

CFTypeRef VTPropertyGetValue(CFAllocatorRef allocator, CFStringRef propertyID, CFStringRef key,
                             CFMutableDictionaryRef *outError) {
    if (!vt::cf::Cast<CFStringRef>(propertyID) || !vt::cf::Cast<CFStringRef>(key)) {
        vt::errors::HandBack(VTErrorCreateNULLParamFormat(allocator, "VTPropertyGetValue"),
                             outError);
        return nullptr;
    }
    CFMutableDictionaryRef set = VTPrivate_GetOneProperty(allocator, propertyID, outError);
    return set ? CFDictionaryGetValue(set, key) : nullptr;
}

CFMutableDictionaryRef VTPropertySetValue(CFAllocatorRef allocator, CFStringRef propertyID,
                                          CFStringRef key, CFTypeRef value) {
    CFRef<CFStringRef> id = CFRef<CFStringRef>::Retain(vt::cf::Cast<CFStringRef>(propertyID));
    CFRef<CFStringRef> storedKey(vt::doc::CreateStoredString(allocator, key));
    if (!id || !storedKey || !value)
        return VTErrorCreateNULLParamFormat(allocator, "VTPropertySetValue");
    CFRef<CFPropertyListRef> stored(vt::doc::CreateStorableCopy(allocator, value));
    if (!stored) return vt::errors::CreateNotStorable(allocator, "VTPropertySetValue");
    CFMutableDictionaryRef error = nullptr;
    CFMutableDictionaryRef set = VTPrivate_GetOneProperty(allocator, id.get(), &error);
    if (error) return error;
    // Storing nothing must not read as success.
    if (!set) return vt::errors::CreateCantFindContainer(allocator, "VTPropertySetValue");
    CFDictionarySetValue(set, storedKey.get(), stored.get());
    return nullptr;
}

Boolean VTPrivate_PropertyExists(CFStringRef propertyID) {
    if (!vt::cf::Cast<CFStringRef>(propertyID)) return false;
    return vt::doc::TableGet<CFDictionaryRef>(kVTTopLevelKeyProperties, propertyID) != nullptr;
}

CFMutableDictionaryRef VTPrivate_SetOneProperty(CFAllocatorRef allocator, CFStringRef propertyID,
                                                CFMutableDictionaryRef properties) {
    CFRef<CFStringRef> id(vt::doc::CreateStoredString(allocator, propertyID));
    if (!id || !vt::cf::Cast<CFDictionaryRef>(properties))
        return VTErrorCreateNULLParamFormat(allocator, "VTPrivate_SetOneProperty");
    CFMutableDictionaryRef table = PropertiesTable();
    if (!table) return vt::errors::CreateCantFindContainer(allocator, "VTPrivate_SetOneProperty");
    // The set itself is stored, not a copy: the description's dictionary
    // becomes the document's.
    CFDictionarySetValue(table, id.get(), properties);
    return nullptr;
}

CFMutableDictionaryRef VTPrivate_RemoveOneProperty(CFAllocatorRef allocator,
                                                   CFStringRef propertyID) {
    // The caller's ID may be borrowed from the set or the table it leaves.
    CFRef<CFStringRef> id = CFRef<CFStringRef>::Retain(vt::cf::Cast<CFStringRef>(propertyID));
    if (!id) return VTErrorCreateNULLParamFormat(allocator, "VTPrivate_RemoveOneProperty");
    CFMutableDictionaryRef table = PropertiesTable();
    if (!table)
        return vt::errors::CreateCantFindContainer(allocator, "VTPrivate_RemoveOneProperty");
    CFDictionaryRemoveValue(table, id.get());
    return nullptr;
}

} // extern "C"
