// Helpers of the save tests: a fresh working folder holding the document,
// its listing, and the bytes a save of the held document must produce.
#pragma once

#include <Vantrell/Vantrell.h>
#include <gtest/gtest.h>

#include "document/DocumentPrivate.h"
#include "platform/values/Holder.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vt::test::save {

constexpr char kName[] = "info.library.module.mlix";

// Every name in the folder, sorted.
inline std::vector<std::string> Listing(const std::string &folder) {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Standard error while the body runs.
inline std::string Captured(const std::function<void()> &body) {
    testing::internal::CaptureStderr();
    body();
    return testing::internal::GetCapturedStderr();
}

// A deep copy of the held document, taken to compare against later.
inline CFRef<CFPropertyListRef> Snapshot() {
    return CFRef<CFPropertyListRef>(CFPropertyListCreateDeepCopy(
        kCFAllocatorDefault, VTPrivate_DocumentGetDocument(), kCFPropertyListImmutable));
}

// The XML bytes of a document value.
inline std::string XMLOf(CFPropertyListRef value) {
    CFRef<CFDataRef> data(CFPropertyListCreateXMLData(kCFAllocatorDefault, value));
    if (!data) return {};
    return std::string(reinterpret_cast<const char *>(CFDataGetBytePtr(data.get())),
                       size_t(CFDataGetLength(data.get())));
}

inline void SetText(const char *key, const std::string &text) {
    CFRef<CFStringRef> key_(CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8));
    CFRef<CFStringRef> value(
        CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8));
    VTPrivate_DocumentValueSet(key_.get(), value.get());
}

// A working folder of its own; the document URL is fixed there at the first
// access, so each TEST (a process of its own) gets a fresh one.
class SaveTest : public testing::Test {
  protected:
    std::string DocumentPath() const { return work_.Join(kName); }
    std::string Path(const std::string &name) const { return work_.Join(name); }
    std::vector<std::string> Names() const { return Listing(work_.Path()); }

    vt::test::TempFolder work_;
    vt::test::ScopedWorkingDirectory cwd_{work_.Path()};
};

} // namespace vt::test::save
