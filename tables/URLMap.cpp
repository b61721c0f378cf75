// The URL map: a stable ID for every registered folder or file URL, derived
// from the URL's text, with the text kept under it in the document's Map
// table.
#include "errors/ErrorsPrivate.h"
#include "tables/TablesPrivate.h"

#include <Vantrell/Document.h>
#include <Vantrell/Errors.h>

#include "document/Tables.h"
#include "platform/values/Guard.h"
#include "tables/TableSupport.h"
#include "utilities/UtilitiesPrivate.h"

#include <vector>

using vt::CFRef;
using vt::tables::CopyURLText;

namespace {

constexpr const char *kCreateName = "VTPrivate_MapCreateEntryIDWithURL";

// The stored text under `key` when it equals `text`.
bool HoldsText(CFDictionaryRef table, CFTypeRef key, CFStringRef text) {
    CFStringRef stored = vt::doc::Get<CFStringRef>(table, vt::cf::Cast<CFStringRef>(key));
    return stored && CFEqual(stored, text);
}

// The reverse look-up from a URL text to the map key that holds it.
//
// A map of hundreds of thousands of entries cannot be scanned per look-up,
// and the borrowed ID handed back must be the table's own key object, which
// only a walk over the table reveals. So the first look-up on a table walks
// it once and remembers text -> key; the map's own stores and removals keep
// that up to date. A table that is replaced (a new document) or whose count
// changed behind the map's back is walked again at the next look-up. Every
// answer is checked against the table, so a stale memory costs a new walk,
// never a wrong ID.
class ReverseIndex {
  public:
    // The key (borrowed from the table) whose text equals `text`, or NULL.
    CFStringRef Find(CFMutableDictionaryRef table, CFStringRef text) {
        bool stale = false;
        if (Tracks(table)) {
            if (CFStringRef key = Lookup(table, text, stale)) return key;
            // A complete memory that knows nothing of the text is the answer,
            // unless the table plainly holds the text under its hash.
            if (complete_ && !stale && !HeldUnderHash(table, text)) return nullptr;
        }
        if (!Build(table)) return nullptr;
        return Lookup(table, text, stale);
    }

    // Call before the map stores `text` under `key` in `table`.
    void WillStore(CFMutableDictionaryRef table) {
        tracking_ = Tracks(table);
        // An empty table is fully known without a walk: a new document's map
        // never needs one.
        if (!tracking_ && CFDictionaryGetCount(table) == 0) tracking_ = Reset(table, 0);
    }

    // Call after the store; `previous` is the text that was under the key.
    void DidStore(CFMutableDictionaryRef table, CFStringRef key, CFStringRef text, bool existed,
                  CFStringRef previous) {
        if (!tracking_) return;
        count_ = CFDictionaryGetCount(table);
        // A new key is the very object stored (an immutable string is kept,
        // not copied); a replaced entry keeps the key object it had.
        CFTypeRef keyObject = key;
        if (existed) {
            keyObject = previous ? CFDictionaryGetValue(byText_.get(), previous) : nullptr;
            if (!keyObject || !CFEqual(keyObject, key)) {
                complete_ = false;
                return;
            }
        }
        CFTypeRef known = CFDictionaryGetValue(byText_.get(), text);
        if (known && !CFEqual(known, key)) duplicates_ = true;
        CFDictionarySetValue(byText_.get(), text, keyObject);
    }

    // Call before the map removes `key`; `text` is the text under it.
    void WillRemove(CFMutableDictionaryRef table) { tracking_ = Tracks(table); }

    void DidRemove(CFMutableDictionaryRef table, CFStringRef key, CFStringRef text) {
        if (!tracking_) return;
        count_ = CFDictionaryGetCount(table);
        if (!text) return;
        CFTypeRef known = CFDictionaryGetValue(byText_.get(), text);
        if (!known || !CFEqual(known, key)) return;
        CFDictionaryRemoveValue(byText_.get(), text);
        // Another key may hold the same text (a foreign document); only a new
        // walk finds it.
        if (duplicates_) complete_ = false;
    }

  private:
    bool Tracks(CFMutableDictionaryRef table) const {
        return table_.get() == table && byText_ && count_ == CFDictionaryGetCount(table);
    }

    static bool HeldUnderHash(CFMutableDictionaryRef table, CFStringRef text) {
        CFRef<CFStringRef> hash(VTU_StringCreateHashedWithMD5(kCFAllocatorDefault, text));
        return hash && HoldsText(table, hash.get(), text);
    }

    CFStringRef Lookup(CFMutableDictionaryRef table, CFStringRef text, bool &stale) const {
        CFTypeRef key = CFDictionaryGetValue(byText_.get(), text);
        if (!key) return nullptr;
        if (HoldsText(table, key, text)) return static_cast<CFStringRef>(key);
        stale = true;
        return nullptr;
    }

    // Starts an empty memory for `table`. The table is retained so that its
    // address cannot pass to another table while it is remembered.
    bool Reset(CFMutableDictionaryRef table, CFIndex capacity) {
        CFRef<CFMutableDictionaryRef> byText(
            CFDictionaryCreateMutable(kCFAllocatorDefault, capacity, &kCFTypeDictionaryKeyCallBacks,
                                      &kCFTypeDictionaryValueCallBacks));
        if (!byText) return false;
        table_ = CFRef<CFMutableDictionaryRef>::Retain(table);
        byText_ = std::move(byText);
        count_ = CFDictionaryGetCount(table);
        complete_ = true;
        duplicates_ = false;
        return true;
    }

    // Walks the whole table. Where one text is held by several keys, the key
    // that is the text's hash wins, else the first one met.
    bool Build(CFMutableDictionaryRef table) {
        return vt::Guard(false, [&] {
            CFIndex count = CFDictionaryGetCount(table);
            std::vector<const void *> keys(static_cast<size_t>(count)), values(keys.size());
            CFDictionaryGetKeysAndValues(table, keys.data(), values.data());
            if (!Reset(table, count)) return false;
            for (CFIndex i = 0; i < count; ++i) {
                CFStringRef key = vt::cf::Cast<CFStringRef>(keys[size_t(i)]);
                CFStringRef text = vt::cf::Cast<CFStringRef>(values[size_t(i)]);
                if (!key || !text) continue;
                if (!CFDictionaryContainsKey(byText_.get(), text)) {
                    CFDictionaryAddValue(byText_.get(), text, key);
                    continue;
                }
                duplicates_ = true;
                CFRef<CFStringRef> hash(VTU_StringCreateHashedWithMD5(kCFAllocatorDefault, text));
                if (hash && CFEqual(hash.get(), key))
                    CFDictionarySetValue(byText_.get(), text, key);
            }
            return true;
        });
    }

    CFRef<CFMutableDictionaryRef> table_;
    CFRef<CFMutableDictionaryRef> byText_;
    CFIndex count_ = 0;
    bool complete_ = false;
    bool duplicates_ = false;
    bool tracking_ = false;
};

// Process-wide, like the document it describes; never destroyed, so no
// exit-time release runs after the value layer is gone.
ReverseIndex &Index() {
    static ReverseIndex *index = new ReverseIndex;
    return *index;
}

CFMutableDictionaryRef MapTable() {
    return vt::doc::Table(kVTTopLevelKeyMap);
}

} // namespace

extern "C" {

CFStringRef VTPrivate_MapCreateEntryIDWithURL(CFAllocatorRef allocator, CFURLRef url,
                                              CFMutableDictionaryRef *outError) {
    if (!vt::cf::Cast<CFURLRef>(url)) {
        vt::errors::HandBack(VTErrorCreateNULLParam(allocator), outError);
        return nullptr;
    }
    CFRef<CFStringRef> text = CopyURLText(url);
    CFRef<CFStringRef> mapID(VTU_StringCreateHashedWithMD5(allocator, text.get()));
    if (!mapID) {
        vt::errors::HandBack(
            VTErrorCreateCoreFormat(allocator, CFSTR("%s:: VTU_StringCreateHashedWithMD5 NULL"),
                                    kCreateName),
            outError);
        return nullptr;
    }
    // Handing back an ID whose entry was not stored would let the caller
    // record a location nobody can find again.
    CFMutableDictionaryRef table = MapTable();
    if (!table) {
        vt::errors::HandBack(vt::errors::CreateCantFindContainer(allocator, kCreateName), outError);
        return nullptr;
    }
    CFRef<CFStringRef> stored(vt::doc::CreateStoredString(allocator, text.get()));
    if (!stored) {
        vt::errors::HandBack(vt::errors::CreateOutOfMemory(allocator, kCreateName), outError);
        return nullptr;
    }
    ReverseIndex &index = Index();
    index.WillStore(table);
    const void *old = nullptr;
    bool existed = CFDictionaryGetValueIfPresent(table, mapID.get(), &old);
    CFRef<CFStringRef> previous = CFRef<CFStringRef>::Retain(vt::cf::Cast<CFStringRef>(old));
    CFDictionarySetValue(table, mapID.get(), stored.get());
    index.DidStore(table, mapID.get(), stored.get(), existed, previous.get());
    return mapID.Release();
}

CFStringRef VTPrivate_MapGetValue(CFStringRef mapID) {
    if (!vt::cf::Cast<CFStringRef>(mapID)) return nullptr;
    return vt::doc::TableGet<CFStringRef>(kVTTopLevelKeyMap, mapID);
}

Boolean VTPrivate_MapContainsID(CFStringRef mapID) {
    return VTPrivate_MapGetValue(mapID) != nullptr;
}

CFStringRef VTPrivate_MapGetEntryIDForURL(CFURLRef url) {
    CFRef<CFStringRef> text = CopyURLText(url);
    CFMutableDictionaryRef table = text ? MapTable() : nullptr;
    if (!table || CFDictionaryGetCount(table) == 0) return nullptr;
    return Index().Find(table, text.get());
}

CFStringRef VTPrivate_MapCopyEntryIDForURL(CFAllocatorRef allocator, CFURLRef url) {
    CFRef<CFStringRef> text = CopyURLText(url);
    CFMutableDictionaryRef table = text ? MapTable() : nullptr;
    if (!table) return nullptr;
    CFRef<CFStringRef> mapID(VTU_StringCreateHashedWithMD5(allocator, text.get()));
    if (!mapID) return nullptr;
    if (HoldsText(table, mapID.get(), text.get())) return mapID.Release();
    // Not under its hash: a foreign or hand-edited entry may still hold it.
    CFStringRef key = CFDictionaryGetCount(table) ? Index().Find(table, text.get()) : nullptr;
    return key ? CFStringCreateCopy(allocator, key) : nullptr;
}

void VTPrivate_MapDeleteEntry(CFStringRef mapID) {
    // The caller's ID may be the table's own key, which the removal releases.
    CFRef<CFStringRef> id = CFRef<CFStringRef>::Retain(vt::cf::Cast<CFStringRef>(mapID));
    CFMutableDictionaryRef table = id ? MapTable() : nullptr;
    if (!table) return;
    ReverseIndex &index = Index();
    index.WillRemove(table);
    CFRef<CFStringRef> text =
        CFRef<CFStringRef>::Retain(vt::doc::Get<CFStringRef>(table, id.get()));
    CFDictionaryRemoveValue(table, id.get());
    index.DidRemove(table, id.get(), text.get());
}

} // extern "C"
