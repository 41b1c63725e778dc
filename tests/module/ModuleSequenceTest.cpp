// The module's load and unload sequence against the framework's test seam.
// The test's platform pieces note their calls in the framework's log, so the
// log shows the whole order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CallLog.h"
#include "ModuleLifecycle.h"

namespace quorbix {
namespace {

using calllog::Sequence;
using Lines = std::vector<std::string>;

void* const kInstance = reinterpret_cast<void*>(0x10000);

int gRawHookResult = 1;

int RecordingRawHook(void* instance, uint32_t reason, void* reserved) {
  QfwTestNote(("raw hook " + std::to_string(reason)).c_str());
  RawAttachHook(instance, reason, reserved);
  return gRawHookResult;
}

void NoteStaticInitialisers() { QfwTestNote("static initialisers"); }
void NoteExitProcessing() { QfwTestNote("exit processing"); }

const ModulePlatform kRecording{RecordingRawHook, NoteStaticInitialisers, NoteExitProcessing};

class ModuleSequence : public testing::Test {
 protected:
  void SetUp() override {
    QfwTestReset();
    gExtensionModule = QfwExtensionModule{};
    gRawHookResult = 1;
  }
  void TearDown() override { QfwTestReset(); }

  static int Startup(uint32_t reason) {
    return ModuleStartup(kRecording, kInstance, reason, nullptr);
  }
};

TEST_F(ModuleSequence, AttachRunsRawHookThenStaticInitialisersThenRegisters) {
  int firstList = 0, secondList = 0;
  QfwModuleState* state = QfwGetModuleState();
  state->firstListHead = &firstList;
  state->secondListHead = &secondList;
  const size_t start = QfwTestCallCount();

  EXPECT_EQ(Startup(kProcessAttach), 1);

  EXPECT_EQ(Sequence(start), (Lines{"raw hook 1", "get-state", "static initialisers", "init",
                                    "allocate 64", "construct 0"}));
  // Static initialisation starts from two empty lists; the old ones are kept.
  EXPECT_EQ(state->firstListHead, nullptr);
  EXPECT_EQ(state->firstListBefore, &firstList);
  EXPECT_EQ(state->secondListHead, nullptr);
  EXPECT_EQ(state->secondListBefore, &secondList);

  const QfwCall init = calllog::First(QFW_INIT_EXTENSION_MODULE);
  EXPECT_EQ(init.module, &gExtensionModule);
  EXPECT_EQ(init.pointer, kInstance);
  const QfwCall construct = calllog::First(QFW_CONSTRUCT_LIBRARY_RECORD);
  EXPECT_EQ(construct.module, &gExtensionModule);
  EXPECT_EQ(construct.pointer, calllog::First(QFW_ALLOCATE).pointer);
  EXPECT_EQ(QfwTestLibraryRecordCount(&gExtensionModule), 1u);
}

TEST_F(ModuleSequence, RefusedInitialisationFailsAttachWithoutLibraryRecord) {
  QfwTestFailInit(1);
  EXPECT_EQ(Startup(kProcessAttach), 0);
  EXPECT_EQ(Sequence(), (Lines{"raw hook 1", "get-state", "static initialisers", "init-refused"}));
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);

  // Undone without the framework, which holds nothing of the module.
  const size_t start = QfwTestCallCount();
  UndoRefusedAttach(kRecording, kInstance, nullptr);
  EXPECT_EQ(Sequence(start), (Lines{"exit processing", "raw hook 0"}));
}

TEST_F(ModuleSequence, FailedAllocationStillAttachesWithoutLibraryRecord) {
  QfwTestFailAllocate(1);
  EXPECT_EQ(Startup(kProcessAttach), 1);
  EXPECT_EQ(Sequence(),
            (Lines{"raw hook 1", "get-state", "static initialisers", "init", "allocate 64 null"}));
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
  EXPECT_NE(gExtensionModule.initialised, 0);
}

TEST_F(ModuleSequence, RawHookRefusalStopsAttachBeforeStaticInitialisers) {
  gRawHookResult = 0;
  EXPECT_EQ(Startup(kProcessAttach), 0);
  EXPECT_EQ(Sequence(), (Lines{"raw hook 1", "get-state"}));
}

TEST_F(ModuleSequence, ThreadNotificationsTouchNeitherFrameworkNorRawHook) {
  ASSERT_EQ(Startup(kProcessAttach), 1);
  const size_t start = QfwTestCallCount();
  EXPECT_EQ(Startup(kThreadAttach), 1);
  EXPECT_EQ(Startup(kThreadDetach), 1);
  EXPECT_EQ(Sequence(start), Lines{});
  EXPECT_EQ(QfwTestLibraryRecordCount(&gExtensionModule), 1u);
}

TEST_F(ModuleSequence, DetachTerminatesOnceThenExitProcessingThenRawHook) {
  ASSERT_EQ(Startup(kProcessAttach), 1);
  const size_t start = QfwTestCallCount();

  EXPECT_EQ(Startup(kProcessDetach), 1);

  EXPECT_EQ(Sequence(start), (Lines{"term 0", "exit processing", "raw hook 0"}));
  EXPECT_EQ(calllog::First(QFW_TERM_EXTENSION_MODULE, start).module,
            calllog::First(QFW_INIT_EXTENSION_MODULE).module);
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
  EXPECT_EQ(gExtensionModule.initialised, 0);
}

TEST_F(ModuleSequence, RawHookRefusalOnDetachMakesTheResultZero) {
  ASSERT_EQ(Startup(kProcessAttach), 1);
  gRawHookResult = 0;
  EXPECT_EQ(Startup(kProcessDetach), 0);
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
}

TEST_F(ModuleSequence, EmptyRawHookSlotIsSkipped) {
  const ModulePlatform withoutRawHook{nullptr, NoteStaticInitialisers, NoteExitProcessing};
  EXPECT_EQ(ModuleStartup(withoutRawHook, kInstance, kProcessAttach, nullptr), 1);
  EXPECT_EQ(ModuleStartup(withoutRawHook, kInstance, kProcessDetach, nullptr), 1);
  EXPECT_EQ(Sequence(), (Lines{"static initialisers", "init", "allocate 64", "construct 0",
                               "term 0", "exit processing"}));
}

TEST(RawAttachHook, MovesTheListsOnProcessAttachOnly) {
  QfwTestReset();
  int list = 0;
  QfwModuleState* state = QfwGetModuleState();
  for (uint32_t reason : {kProcessDetach, kThreadAttach, kThreadDetach}) {
    state->firstListHead = &list;
    EXPECT_EQ(RawAttachHook(kInstance, reason, nullptr), 1);
    EXPECT_EQ(state->firstListHead, &list) << "reason " << reason;
  }
  EXPECT_EQ(RawAttachHook(kInstance, kProcessAttach, nullptr), 1);
  EXPECT_EQ(state->firstListHead, nullptr);
  EXPECT_EQ(state->firstListBefore, &list);
  QfwTestReset();
}

}  // namespace
}  // namespace quorbix
