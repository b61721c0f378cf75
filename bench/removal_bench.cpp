// Measures VTDocumentRemoveLibrary on a library holding 10 000 and then
// 100 000 files, in one run, and reports the time per call and its ratio.
// A removal that is linear in the library's files gives a ratio near 10.
//
// Each library is registered with a folder under the user library and its
// files with VTLibraryRegisterURL, whose time per file is reported as well (it
// too must stay flat as the library grows). Folders and files need not exist.
//
// usage: removal_bench [REPETITIONS]   (default 5 calls at each size)
#include <Vantrell/Vantrell.h>

#include "document/DocumentPrivate.h"
#include "libraries/LibrariesPrivate.h"
#include "platform/values/Holder.h"
#include "tables/TablesPrivate.h"
#include "bench/BenchSupport.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <time.h>
#include <vector>

namespace {

using vt::bench::Fail;
using vt::bench::NewString;
using vt::bench::ProcessorSeconds;

using vt::CFRef;

CFURLRef NewURL(const std::string &path, bool folder) {
    CFRef<CFStringRef> text(NewString(path));
    return CFURLCreateWithFileSystemPath(nullptr, text.get(), kCFURLPOSIXPathStyle, folder);
}

void Check(CFMutableDictionaryRef error, const char *step) {
    CFRef<CFMutableDictionaryRef> held(error);
    if (held) Fail(std::string(step) + " failed");
}

CFRef<CFStringRef> RegisterLibrary(CFStringRef parentID, const std::string &name) {
    CFRef<CFStringRef> id(NewString(name));
    CFRef<CFStringRef> descriptionID(
        VTLibraryDescriptionCreateMinimal(nullptr, parentID, id.get(), id.get(), nullptr));
    if (!descriptionID) Fail("description of " + name);
    CFRef<CFURLRef> folder(NewURL("/nonexistent/removal-bench/" + name, true));
    Check(VTLibraryDescriptionSetFolderInfoWithURL(nullptr, descriptionID.get(), folder.get(),
                                                   nullptr),
          "folder");
    CFRef<CFStringRef> registered;
    Check(VTDocumentRegisterLibrary(nullptr, descriptionID.get(), registered.Out()),
          "registration");
    return registered;
}

// A library under the user library owning `count` files.
CFRef<CFStringRef> LibraryWithFiles(const std::string &name, long count, double &seconds) {
    CFRef<CFStringRef> id = RegisterLibrary(kVTUserLibraryID, name);
    double start = ProcessorSeconds();
    for (long i = 0; i < count; ++i) {
        CFRef<CFURLRef> url(NewURL(
            "/nonexistent/removal-bench/" + name + "/f" + std::to_string(i) + ".scpt", false));
        CFRef<CFStringRef> fileID(VTLibraryRegisterURL(nullptr, id.get(), url.get(), nullptr));
        if (!fileID) Fail("file registration");
    }
    seconds = ProcessorSeconds() - start;
    CFArrayRef files = VTLibraryGetFiles(nullptr, id.get(), nullptr);
    if (!files || CFArrayGetCount(files) != count) Fail("files missing from the library");
    return id;
}

// Writes over more memory than the caches hold, so that each timed call
// starts cold, as a host's removal does long after the library was built;
// otherwise the small library, just made, would sit in the cache.
void EvictCaches() {
    static std::vector<unsigned char> scratch(size_t(128) << 20);
    for (size_t i = 0; i < scratch.size(); i += 64)
        scratch[i] = static_cast<unsigned char>(i);
}

// Processor seconds per removal of a library of `count` files: the mean and
// the fastest call (on a shared machine the fastest is the least disturbed).
struct Timing {
    double mean = 0;
    double best = 0;
    double lookUps = 0;   // the fastest pass of bare Files-table look-ups
    double register_ = 0; // mean VTLibraryRegisterURL time per file
};

// Processor seconds of one cold pass looking up each of the library's files
// in the Files table: the floor under any removal that visits every entry.
double TimeLookUps(CFStringRef libraryID) {
    CFArrayRef files = VTLibraryGetFiles(nullptr, libraryID, nullptr);
    CFDictionaryRef table = VTPrivate_GetFiles(nullptr);
    if (!files || !table) Fail("no Files");
    EvictCaches();
    double start = ProcessorSeconds();
    CFIndex found = 0;
    for (CFIndex i = 0, count = CFArrayGetCount(files); i < count; ++i)
        found += CFDictionaryGetValue(table, CFArrayGetValueAtIndex(files, i)) != nullptr;
    double seconds = ProcessorSeconds() - start;
    if (found != CFArrayGetCount(files)) Fail("missing entries");
    return seconds;
}

Timing TimeRemoval(long count, int repetitions) {
    double total = 0, best = 0, lookUps = 0, registering = 0, built = 0;
    for (int r = 0; r < repetitions; ++r) {
        // Each library is the document's only owner of files: the earlier
        // calls' file entries would otherwise swell the tables.
        for (CFStringRef table : {kVTTopLevelKeyFiles, kVTTopLevelKeyMap}) {
            CFRef<CFMutableDictionaryRef> empty(CFDictionaryCreateMutable(
                nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
            VTPrivate_DocumentValueSet(table, empty.get());
        }
        CFRef<CFStringRef> id = LibraryWithFiles(
            "lib-" + std::to_string(count) + "-" + std::to_string(r), count, built);
        registering += built;
        double pass = TimeLookUps(id.get());
        if (r == 0 || pass < lookUps) lookUps = pass;
        EvictCaches();
        double start = ProcessorSeconds();
        CFRef<CFMutableDictionaryRef> error(VTDocumentRemoveLibrary(nullptr, id.get()));
        double seconds = ProcessorSeconds() - start;
        total += seconds;
        if (r == 0 || seconds < best) best = seconds;
        if (error) Fail("removal");
        if (VTPrivate_LibraryIDIsRegistered(id.get())) Fail("library still registered");
    }
    return {total / repetitions, best, lookUps, registering / double(repetitions * count)};
}

} // namespace

int main(int argc, char **argv) {
    int repetitions = argc > 1 ? std::atoi(argv[1]) : 5;
    if (repetitions < 1) Fail("usage: removal_bench [REPETITIONS]");
    Check(VTPrivate_DocumentCreate(kCFAllocatorDefault), "document");
    RegisterLibrary(CFSTR("info.module.root.id.user"), "info.module.library.id.user");

    Timing small = TimeRemoval(10000, repetitions);
    Timing large = TimeRemoval(100000, repetitions);
    std::printf("VTDocumentRemoveLibrary, %d calls at each size, cold caches "
                "(processor time per call: mean, fastest)\n",
                repetitions);
    std::printf("  10 000 files:  %9.3f ms %9.3f ms\n", small.mean * 1e3, small.best * 1e3);
    std::printf("  100 000 files: %9.3f ms %9.3f ms\n", large.mean * 1e3, large.best * 1e3);
    std::printf("  ratio:         %9.2f    %9.2f    (limit 12)\n", large.mean / small.mean,
                large.best / small.best);
    std::printf("  for contrast, the bare Files-table look-ups: %.3f ms, %.3f ms, ratio %.2f\n",
                small.lookUps * 1e3, large.lookUps * 1e3, large.lookUps / small.lookUps);
    std::printf("  VTLibraryRegisterURL per file while building: %.2f us, %.2f us\n",
                small.register_ * 1e6, large.register_ * 1e6);
    return large.best / small.best <= 12 ? 0 : 2;
}
