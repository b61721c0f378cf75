// Measures how the library and table operations scale: each figure is taken
// at two sizes ten times apart, in one run, and reported with their ratio.
//
//   (a) VTPrivate_LibraryIDIsRegistered and the record look-up
//       (VTPrivate_GetOneLibrary) on documents of 5 000 and 50 000 libraries;
//   (b) registering 5 000, then 50 000, new libraries spread under 100 parent
//       libraries, each with a folder and 10 files registered through the
//       file entries and the URL map;
//   (c) the reverse URL map look-up (VTPrivate_MapGetEntryIDForURL) on maps of
//       30 000 and 300 000 entries.
//
// The documents for (a) and (c) come from gen_module_document.py (5 files a
// library, so 5 000 and 50 000 libraries make maps of 30 000 and 300 000
// entries). Folders and files need not exist.
//
// usage: tables_bench [GENERATOR [DATA_FOLDER]]
//   GENERATOR defaults to $VANTRELL_GENERATOR, else the shared tools copy;
//   DATA_FOLDER keeps the generated documents between runs (default: a
//   temporary folder, removed at the end).
#include <Vantrell/Vantrell.h>

#include "document/DocumentPrivate.h"
#include "libraries/LibrariesPrivate.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"
#include "tables/TablesPrivate.h"
#include "bench/BenchSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using vt::bench::Fail;
using vt::bench::NewString;
using vt::bench::ProcessorSeconds;

using vt::CFRef;
namespace fs = std::filesystem;

// Makes (or reuses) a generated document and holds it as the document.
void HoldGenerated(const std::string &generator, const fs::path &folder, int libraries, int files) {
    fs::path path = folder / ("libraries-" + std::to_string(libraries) + ".plist");
    if (!fs::exists(path)) {
        std::string command = "python3 '" + generator + "' --seed 1 --libraries " +
                              std::to_string(libraries) + " --files " + std::to_string(files) +
                              " -o '" + path.string() + "'";
        if (std::system(command.c_str()) != 0) Fail("the generator failed: " + command);
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()),
                                       CFIndex(bytes.size())));
    CFRef<CFPropertyListRef> parsed(CFPropertyListCreateFromXMLData(
        nullptr, data.get(), kCFPropertyListMutableContainersAndLeaves, nullptr));
    auto document = vt::cf::CastMutable<CFMutableDictionaryRef>(parsed.get());
    if (!document) Fail("cannot read " + path.string());
    // The store adopts the reference.
    parsed.Release();
    CFRef<CFMutableDictionaryRef> error(VTPrivate_DocumentSetDocument(document));
    if (error) Fail("cannot hold " + path.string());
}

// The keys or the values of a top-level table, retained.
std::vector<CFRef<CFStringRef>> TableStrings(CFStringRef table, bool values) {
    auto dictionary = vt::cf::Cast<CFDictionaryRef>(VTPrivate_DocumentValueGet(table));
    std::vector<const void *> keys(size_t(CFDictionaryGetCount(dictionary))), items(keys.size());
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), items.data());
    std::vector<CFRef<CFStringRef>> strings;
    for (const void *s : values ? items : keys)
        strings.push_back(CFRef<CFStringRef>::Retain(vt::cf::Cast<CFStringRef>(s)));
    return strings;
}

struct Sample {
    double seconds; // per call
    long calls;
};

// Calls body(i) for i in [0, count) over and over for at least minimum
// seconds; the time per call.
template <class Body>
Sample PerCall(size_t count, double minimum, Body body) {
    long calls = 0;
    double start = ProcessorSeconds(), elapsed = 0;
    do {
        for (size_t i = 0; i < count; ++i)
            body(i);
        calls += long(count);
        elapsed = ProcessorSeconds() - start;
    } while (elapsed < minimum);
    return {elapsed / double(calls), calls};
}

// The least disturbed of five measures: the machine is shared.
template <class Body>
double BestPerCall(size_t count, double minimum, Body body) {
    double best = PerCall(count, minimum, body).seconds;
    for (int run = 1; run < 5; ++run)
        best = std::min(best, PerCall(count, minimum, body).seconds);
    return best;
}

void Report(const char *what, double small, double large, const char *unit, double scale) {
    std::printf("%-44s %10.3f %10.3f %s   ratio %5.2f\n", what, small * scale, large * scale, unit,
                large / small);
}

// (a) and (c) on one generated document.
struct LookUps {
    double registered, record, hot, scan, reverse, reverseFirst;
    CFIndex libraries, mapEntries;
};

LookUps MeasureLookUps(const std::string &generator, const fs::path &folder, int libraries) {
    HoldGenerated(generator, folder, libraries, 5);
    LookUps result{};
    std::vector<CFRef<CFStringRef>> ids = TableStrings(kVTTopLevelKeyLibraries, false);
    result.libraries = CFIndex(ids.size());
    // As many unknown IDs as known ones: a look-up that misses must be as
    // cheap as one that hits.
    // The same number of probes at both sizes, drawn from the whole table, so
    // most look-ups touch memory that is not in the processor's caches.
    std::vector<CFRef<CFStringRef>> probes;
    std::mt19937 draw(1);
    for (size_t i = 0; i < 2000; ++i) {
        probes.push_back(ids[draw() % ids.size()]);
        probes.push_back(CFRef<CFStringRef>(NewString("unknown.library." + std::to_string(i))));
    }
    std::shuffle(probes.begin(), probes.end(), draw);

    // The keyed answer is the answer a scan of every key gives.
    for (size_t i = 0; i < 200; ++i) {
        CFStringRef probe = probes[i].get();
        bool scanned = false;
        for (const auto &id : ids)
            scanned = scanned || CFEqual(id.get(), probe);
        if (scanned != bool(VTPrivate_LibraryIDIsRegistered(probe)) ||
            scanned != (VTPrivate_GetOneLibrary(probe) != nullptr))
            Fail("a keyed look-up disagrees with a scan");
    }

    long found = 0;
    result.registered = BestPerCall(probes.size(), 0.3, [&](size_t i) {
        found += VTPrivate_LibraryIDIsRegistered(probes[i].get());
    });
    result.record = BestPerCall(probes.size(), 0.3, [&](size_t i) {
        found += VTPrivate_GetOneLibrary(probes[i].get()) != nullptr;
    });
    // The same 100 IDs over and over: what a look-up costs once the memory
    // it touches is in the processor's caches, whatever the table's size.
    result.hot = BestPerCall(
        100, 0.3, [&](size_t i) { found += VTPrivate_LibraryIDIsRegistered(probes[i].get()); });
    // For contrast, the scan of every key that a keyed look-up replaces.
    result.scan = BestPerCall(50, 0.3, [&](size_t i) {
        CFDictionaryRef table =
            vt::cf::Cast<CFDictionaryRef>(VTPrivate_DocumentValueGet(kVTTopLevelKeyLibraries));
        std::vector<const void *> keys(size_t(CFDictionaryGetCount(table)));
        CFDictionaryGetKeysAndValues(table, keys.data(), nullptr);
        for (const void *key : keys)
            if (CFEqual(key, probes[i].get())) {
                ++found;
                break;
            }
    });

    std::vector<CFRef<CFStringRef>> texts = TableStrings(kVTTopLevelKeyMap, true);
    result.mapEntries = CFIndex(texts.size());
    std::vector<CFRef<CFURLRef>> urls;
    std::mt19937 pick(2);
    for (int i = 0; i < 2000; ++i) {
        const auto &text = texts[pick() % texts.size()];
        urls.emplace_back(CFURLCreateWithString(nullptr, text.get(), nullptr));
        CFRef<CFStringRef> absent(NewString("file:///absent/" + std::to_string(i) + ".scpt"));
        urls.emplace_back(CFURLCreateWithString(nullptr, absent.get(), nullptr));
    }
    // The first look-up, of a URL the map does not hold, may have to learn
    // the whole map.
    double start = ProcessorSeconds();
    found += VTPrivate_MapGetEntryIDForURL(urls[1].get()) != nullptr;
    result.reverseFirst = ProcessorSeconds() - start;
    result.reverse = BestPerCall(urls.size(), 0.3, [&](size_t i) {
        found += VTPrivate_MapGetEntryIDForURL(urls[i].get()) != nullptr;
    });
    if (found == 0) Fail("nothing was found");
    return result;
}

// (b): a fresh document, a user library with 100 parents, then `count` new
// libraries with a folder and 10 files each. Seconds for the new libraries.
double MeasureRegistration(int count) {
    CFMutableDictionaryRef fresh = CFDictionaryCreateMutable(
        nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFRef<CFMutableDictionaryRef> error(VTPrivate_DocumentSetDocument(fresh));
    error.Reset(VTPrivate_DocumentCreate(kCFAllocatorDefault));
    if (error) Fail("cannot create a document");

    auto registerLibrary = [](CFStringRef parentID, CFStringRef libraryID,
                              const std::string &folder) {
        CFRef<CFMutableDictionaryRef> error;
        CFRef<CFStringRef> descriptionID(
            VTLibraryDescriptionCreateMinimal(nullptr, parentID, libraryID, nullptr, error.Out()));
        if (!descriptionID) Fail("a description failed");
        CFRef<CFStringRef> text(NewString(folder));
        CFRef<CFURLRef> url(CFURLCreateWithString(nullptr, text.get(), nullptr));
        error.Reset(VTLibraryDescriptionSetFolderInfoWithURL(nullptr, descriptionID.get(),
                                                             url.get(), nullptr));
        CFRef<CFStringRef> registered;
        error.Reset(VTDocumentRegisterLibrary(nullptr, descriptionID.get(), registered.Out()));
        if (error || !registered) Fail("a registration failed");
        return registered;
    };

    const std::string base = "file:///absent/Library/Scripts/Modules/";
    registerLibrary(CFSTR("info.module.root.id.user"), kVTUserLibraryID, base);
    std::vector<CFRef<CFStringRef>> parents;
    for (int p = 0; p < 100; ++p) {
        CFRef<CFStringRef> id(NewString("parent." + std::to_string(p)));
        parents.push_back(registerLibrary(kVTUserLibraryID, id.get(),
                                          base + "Parent%20" + std::to_string(p) + "/"));
    }

    double start = ProcessorSeconds();
    for (int i = 0; i < count; ++i) {
        int p = i % 100;
        std::string folder =
            base + "Parent%20" + std::to_string(p) + "/Library%20" + std::to_string(i) + "/";
        CFRef<CFStringRef> id = registerLibrary(parents[size_t(p)].get(), nullptr, folder);
        CFMutableArrayRef files = VTLibraryGetFiles(nullptr, id.get(), nullptr);
        for (int f = 0; f < 10; ++f) {
            CFRef<CFStringRef> text(NewString(folder + "Script%20" + std::to_string(f) + ".scpt"));
            CFRef<CFURLRef> url(CFURLCreateWithString(nullptr, text.get(), nullptr));
            CFRef<CFStringRef> fileID(
                VTPrivate_FilesSetFileInfoEntryForURL(nullptr, url.get(), id.get(), nullptr));
            if (!fileID || !files) Fail("a file registration failed");
            if (!VTU_ArrayContainsValue(files, fileID.get()))
                CFArrayAppendValue(files, fileID.get());
        }
    }
    double seconds = ProcessorSeconds() - start;
    auto libraries =
        vt::cf::Cast<CFDictionaryRef>(VTPrivate_DocumentValueGet(kVTTopLevelKeyLibraries));
    if (CFDictionaryGetCount(libraries) != count + 101) Fail("libraries went missing");
    return seconds;
}

} // namespace

int main(int argc, char **argv) {
    const char *fromEnvironment = std::getenv("VANTRELL_GENERATOR");
    std::string generator = argc > 1                              ? argv[1]
                            : fromEnvironment && *fromEnvironment ? fromEnvironment
                                                                  : VANTRELL_DEFAULT_GENERATOR;
    if (!fs::exists(generator)) Fail("no generator at " + generator);
    std::string scratch = (fs::temp_directory_path() / "tables_bench.XXXXXX").string();
    if (!mkdtemp(scratch.data())) Fail("cannot make a temporary folder");
    fs::path data = argc > 2 ? fs::path(argv[2]) : fs::path(scratch);
    fs::create_directories(data);
    // The document store resolves its file name against this folder.
    if (chdir(scratch.c_str()) != 0) Fail("cannot enter " + scratch);

    // VANTRELL_BENCH_PART=a|b|c runs one part alone (for profiling).
    const char *part = std::getenv("VANTRELL_BENCH_PART");
    std::string only = part ? part : "";
    std::printf("%-44s %10s %10s\n", "", "small", "large");
    if (only.empty() || only == "a" || only == "c") {
        LookUps small = MeasureLookUps(generator, data, 5000);
        LookUps large = MeasureLookUps(generator, data, 50000);
        std::printf("(a) %ld and %ld libraries\n", long(small.libraries), long(large.libraries));
        Report("    VTPrivate_LibraryIDIsRegistered", small.registered, large.registered, "ns/call",
               1e9);
        Report("    VTPrivate_GetOneLibrary", small.record, large.record, "ns/call", 1e9);
        Report("    VTPrivate_LibraryIDIsRegistered, 100 IDs", small.hot, large.hot, "ns/call",
               1e9);
        Report("    (a scan of every key, for contrast)", small.scan, large.scan, "ns/call", 1e9);
        std::printf("(c) %ld and %ld map entries\n", long(small.mapEntries),
                    long(large.mapEntries));
        Report("    VTPrivate_MapGetEntryIDForURL", small.reverse, large.reverse, "ns/call", 1e9);
        Report("    first call, a URL not in the map", small.reverseFirst, large.reverseFirst, "ms",
               1e3);
    }
    if (only.empty() || only == "b") {
        // The least disturbed of a few runs at each size: the machine is shared.
        double few = 1e9, many = 1e9;
        for (int run = 0; run < 5; ++run)
            few = std::min(few, MeasureRegistration(5000));
        for (int run = 0; run < 2; ++run)
            many = std::min(many, MeasureRegistration(50000));
        std::printf("(b) 5000 and 50000 new libraries, 10 files each, under 100 parents "
                    "(best of 5 and of 2 runs)\n");
        Report("    whole run", few, many, "s", 1);
        Report("    per library", few / 5000, many / 50000, "us", 1e6);
    }

    if (chdir("/") == 0) fs::remove_all(scratch);
    return 0;
}
