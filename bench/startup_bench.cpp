// Measures start-up (VantrellLoadDocument):
//
//   - a first run, with no document file: folders made, document built and
//     saved;
//   - a run that finds a current document of about 10 MB, against a bare
//     load of the same file in the same process (CFPropertyListCreateFromXMLData
//     on its bytes, already in memory, with the mutability the document store
//     asks for). A current document is neither rebuilt nor saved, so start-up
//     should cost little more than the parse: the target is at most 1.3x.
//
// The document comes from gen_module_document.py (810 libraries of 20 files,
// seed 1, about 10 MB) with its version set to the framework's. The domains'
// Scripts folders are made under a temporary folder through the tests'
// folder look-up, never in the real ones.
//
// usage: startup_bench [GENERATOR [RUNS]]
//   GENERATOR defaults to $VANTRELL_GENERATOR, else the shared tools copy;
//   RUNS (default 7) is the number of timed runs whose median is reported.
#include <Vantrell/Vantrell.h>

#include "document/DocumentPrivate.h"
#include "platform/values/Cast.h"
#include "platform/values/Holder.h"
#include "support/TestSupport.h"
#include "bench/BenchSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

namespace {

using vt::bench::Fail;

using vt::CFRef;
using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <class Body>
double Seconds(Body &&body) {
    auto start = Clock::now();
    body();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

CFDataRef CreateData(const std::string &bytes) {
    return CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()),
                        CFIndex(bytes.size()));
}

// The generated document with the framework's version, as XML bytes.
std::string CurrentDocument(const std::string &generator, const std::string &folder) {
    std::string generated = folder + "/generated.mlix";
    std::string command =
        "python3 '" + generator + "' --libraries 810 --files 20 --seed 1 -o '" + generated + "'";
    if (std::system(command.c_str()) != 0) Fail("the generator failed: " + command);
    CFRef<CFDataRef> data(CreateData(vt::test::ReadFile(generated)));
    CFRef<CFPropertyListRef> parsed(CFPropertyListCreateFromXMLData(
        nullptr, data.get(), kCFPropertyListMutableContainersAndLeaves, nullptr));
    auto document = vt::cf::CastMutable<CFMutableDictionaryRef>(parsed.get());
    if (!document) Fail("the generated document does not parse");
    CFDictionarySetValue(document, kVTTopLevelKeyDocumentVersion, kVTDocumentVersion);
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, document));
    if (!xml) Fail("the document cannot be written");
    return std::string(reinterpret_cast<const char *>(CFDataGetBytePtr(xml.get())),
                       size_t(CFDataGetLength(xml.get())));
}

// Drops the held document outside the timed part, so that a timed start-up
// does not pay for freeing the previous run's document.
void DropHeldDocument() {
    CFMutableDictionaryRef empty = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFRef<CFMutableDictionaryRef> error(VTPrivate_DocumentSetDocument(empty));
    if (error) CFRelease(empty);
}

} // namespace

int main(int argc, char **argv) {
    std::string generator = argc > 1 ? argv[1] : "";
    if (generator.empty() && getenv("VANTRELL_GENERATOR")) generator = getenv("VANTRELL_GENERATOR");
    if (generator.empty()) generator = VANTRELL_DEFAULT_GENERATOR;
    int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 7;

    // Start-up finds its bundle among the loaded objects.
    if (!dlopen(VANTRELL_FRAMEWORK_LIBRARY, RTLD_NOW | RTLD_LOCAL)) Fail(dlerror());
    vt::test::TempFolder domains, work;
    if (!vt::test::CreateScriptsFolders(domains.Path(), true, true, true) ||
        chdir(work.Path().c_str()) != 0)
        Fail("cannot prepare the folders");
    std::string document = work.Join("info.library.module.mlix");

    CFRef<CFMutableDictionaryRef> error;
    double firstRun = Seconds([&] { error.Reset(VantrellLoadDocument(nullptr, nullptr)); });
    if (error || !vt::test::Exists(document)) Fail("the first run failed");
    size_t firstSize = vt::test::ReadFile(document).size();

    std::string bytes = CurrentDocument(generator, work.Path());
    if (!vt::test::WriteFile(document, bytes)) Fail("cannot write the document");
    CFRef<CFDataRef> data(CreateData(bytes));

    std::vector<double> bare, startup;
    for (int run = 0; run < runs; ++run) {
        CFPropertyListRef parsed = nullptr;
        bare.push_back(Seconds([&] {
            parsed = CFPropertyListCreateFromXMLData(
                nullptr, data.get(), kCFPropertyListMutableContainersAndLeaves, nullptr);
        }));
        if (!parsed) Fail("the bare load failed");
        CFRelease(parsed);

        DropHeldDocument();
        startup.push_back(Seconds([&] { error.Reset(VantrellLoadDocument(nullptr, nullptr)); }));
        if (error || !VTPrivate_DocumentGetDocument() ||
            CFDictionaryGetCount(VTPrivate_DocumentGetDocument()) != 9)
            Fail("start-up on the current document failed");
        if (vt::test::ReadFile(document).size() != bytes.size())
            Fail("start-up rewrote the current document");
    }
    double bareMedian = Median(bare), startupMedian = Median(startup);
    std::printf("first run (no document, %zu bytes written): %.2f ms\n", firstSize, firstRun * 1e3);
    std::printf("current document of %.1f MB, median of %d runs:\n", double(bytes.size()) / 1e6,
                runs);
    std::printf("  bare load (parse of the bytes): %8.1f ms\n", bareMedian * 1e3);
    std::printf("  VantrellLoadDocument:           %8.1f ms\n", startupMedian * 1e3);
    std::printf("  ratio: %.2fx (target at most 1.30x)\n", startupMedian / bareMedian);
    return startupMedian <= 1.3 * bareMedian ? 0 : 2;
}
