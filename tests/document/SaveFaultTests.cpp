// Disk faults injected into each step of VantrellSaveDocument's write: the file
// stays whole (the former document or the new one), no temporary file is
// left, the held document is untouched and the next save succeeds.
#include "SaveTestSupport.h"

#include "platform/files/FileSystem.h"

#include <cerrno>
#include <cstring>

using vt::CFRef;
using vt::test::StringOf;
using namespace vt::test::save;
namespace fsys = vt::platform;

namespace {

// The hook's plan: the steps that fail and how. The hook is a plain function,
// so the plan lives in statics.
struct Fault {
    fsys::WriteStep step;
    int error;
};
Fault gFaults[2];
int gFaultCount = 0;
int gInjected = 0; // faults the hook actually handed out

int InjectFault(fsys::WriteStep step) {
    for (int i = 0; i < gFaultCount; ++i)
        if (gFaults[i].step == step) {
            ++gInjected;
            return gFaults[i].error;
        }
    return 0;
}

// Makes the listed steps fail until destroyed.
class Faults {
  public:
    Faults(std::initializer_list<Fault> faults) {
        gFaultCount = 0;
        for (const Fault &fault : faults)
            gFaults[gFaultCount++] = fault;
        fsys::SetWriteStepHook(InjectFault);
    }
    ~Faults() {
        fsys::SetWriteStepHook(nullptr);
        gFaultCount = 0;
    }
    Faults(const Faults &) = delete;
    Faults &operator=(const Faults &) = delete;
};

const char *StepName(fsys::WriteStep step) {
    switch (step) {
        case fsys::WriteStep::kCreateTemporary:
            return "create temporary";
        case fsys::WriteStep::kWrite:
            return "write";
        case fsys::WriteStep::kSync:
            return "fsync";
        case fsys::WriteStep::kRename:
            return "rename";
        case fsys::WriteStep::kSyncFolder:
            return "folder fsync";
    }
    return "?";
}

class SaveFaults : public SaveTest {
  protected:
    void SetUp() override {
        ASSERT_EQ(VTPrivate_DocumentCreate(nullptr), nullptr);
        gInjected = 0;
    }
    void TearDown() override {
        // The number of faults each TEST injected, for the record.
        RecordProperty("InjectedFaults", gInjected);
    }

    // Checks what a failed save handed back.
    static void ExpectWriteFailure(CFMutableDictionaryRef error, int errnoValue) {
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(StringOf(VTErrorGetDomain(error)), "ErrorDomainOSStatus");
        EXPECT_EQ(VTU_ErrorGetCode(error), fsys::URLErrorFromErrno(errnoValue));
        EXPECT_EQ(StringOf(VTErrorGetDescription(error)), "Can't write document to URL.");
    }
};

} // namespace

TEST_F(SaveFaults, EachFailingStepOfTheAtomicWriteLeavesAWholeFileAndAnUnchangedDocument) {
    struct Row {
        fsys::WriteStep step;
        int error;
        bool landed; // the new file is in place although the save failed
    };
    const Row rows[] = {
        {fsys::WriteStep::kCreateTemporary, ENOSPC, false},
        {fsys::WriteStep::kCreateTemporary, EDQUOT, false},
        {fsys::WriteStep::kCreateTemporary, EROFS, false},
        {fsys::WriteStep::kCreateTemporary, EIO, false},
        {fsys::WriteStep::kWrite, ENOSPC, false},
        {fsys::WriteStep::kWrite, EDQUOT, false},
        {fsys::WriteStep::kWrite, EIO, false},
        {fsys::WriteStep::kSync, EIO, false},
        {fsys::WriteStep::kSync, ENOSPC, false},
        {fsys::WriteStep::kRename, EIO, false},
        {fsys::WriteStep::kRename, ENOSPC, false},
        {fsys::WriteStep::kRename, EROFS, false},
        {fsys::WriteStep::kSyncFolder, EIO, true},
    };
    // Each row twice: over a saved document, and for the very first save.
    int round = 0;
    for (bool documentBefore : {true, false}) {
        for (const Row &row : rows) {
            SCOPED_TRACE(testing::Message()
                         << StepName(row.step) << " fails with " << std::strerror(row.error)
                         << (documentBefore ? ", over a saved document" : ", first save"));
            ++round;
            SetText("Round", "before " + std::to_string(round));
            std::filesystem::remove(DocumentPath());
            if (documentBefore) {
                ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);
            }
            std::string old = vt::test::ReadFile(DocumentPath());

            SetText("Round", "after " + std::to_string(round));
            CFRef<CFPropertyListRef> before = Snapshot();
            std::string fresh = XMLOf(before.get());
            CFRef<CFMutableDictionaryRef> error;
            std::string said;
            {
                Faults faults{{row.step, row.error}};
                said = Captured([&] { error.Reset(VantrellSaveDocument(nullptr)); });
            }
            ExpectWriteFailure(error.get(), row.error);
            EXPECT_EQ(said, "");
            if (row.landed) {
                EXPECT_EQ(vt::test::ReadFile(DocumentPath()), fresh);
            } else if (documentBefore) {
                EXPECT_EQ(vt::test::ReadFile(DocumentPath()), old);
            } else {
                EXPECT_FALSE(vt::test::Exists(DocumentPath()));
            }
            bool fileThere = documentBefore || row.landed;
            EXPECT_EQ(Names(),
                      fileThere ? std::vector<std::string>{kName} : std::vector<std::string>{});
            EXPECT_TRUE(CFEqual(VTPrivate_DocumentGetDocument(), before.get()));

            // The host saves again once the disk recovers, with nothing kept
            // aside: whatever is on disk is this process's own.
            ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);
            EXPECT_EQ(vt::test::ReadFile(DocumentPath()), fresh);
            EXPECT_EQ(Names(), std::vector<std::string>{kName});
        }
    }
    EXPECT_EQ(gInjected, round);
}

TEST_F(SaveFaults, AFailedInPlaceRewriteIsReportedAsPossiblyIncomplete) {
    struct Row {
        int refusal; // the folder's answer to the temporary file
        fsys::WriteStep step;
        int error;
    };
    const Row rows[] = {
        {EACCES, fsys::WriteStep::kWrite, ENOSPC}, {EPERM, fsys::WriteStep::kWrite, EIO},
        {EACCES, fsys::WriteStep::kWrite, EDQUOT}, {EACCES, fsys::WriteStep::kSync, EIO},
        {EPERM, fsys::WriteStep::kSync, ENOSPC},
    };
    int round = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "folder refuses with " << std::strerror(row.refusal) << ", in-place "
                     << StepName(row.step) << " fails with " << std::strerror(row.error));
        ++round;
        SetText("Round", "before " + std::to_string(round));
        ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);
        SetText("Round", "after " + std::to_string(round));
        CFRef<CFPropertyListRef> before = Snapshot();
        std::string fresh = XMLOf(before.get());

        CFRef<CFMutableDictionaryRef> error;
        std::string said;
        {
            Faults faults{{fsys::WriteStep::kCreateTemporary, row.refusal}, {row.step, row.error}};
            said = Captured([&] { error.Reset(VantrellSaveDocument(nullptr)); });
        }
        ExpectWriteFailure(error.get(), row.error);
        EXPECT_NE(said.find("[Quillbay] VTPrivate_DocumentSave: Saving " + DocumentPath() +
                            " in place failed (" + std::strerror(row.error) + ")"),
                  std::string::npos)
            << said;
        EXPECT_NE(said.find("may be incomplete"), std::string::npos) << said;
        EXPECT_EQ(said.find("not atomic"), std::string::npos) << said;
        // Whatever is left is a beginning of the new document, never another.
        std::string left = vt::test::ReadFile(DocumentPath());
        EXPECT_EQ(fresh.compare(0, left.size(), left), 0);
        EXPECT_EQ(Names(), std::vector<std::string>{kName});
        EXPECT_TRUE(CFEqual(VTPrivate_DocumentGetDocument(), before.get()));

        // The next save repairs the file; the partial one was this
        // process's own, so nothing goes aside.
        ASSERT_EQ(VantrellSaveDocument(nullptr), nullptr);
        EXPECT_EQ(vt::test::ReadFile(DocumentPath()), fresh);
        EXPECT_EQ(Names(), std::vector<std::string>{kName});
    }
    // The folder's refusal and the in-place fault, per row.
    EXPECT_EQ(gInjected, 2 * round);
}
