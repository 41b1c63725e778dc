// The module's load and unload sequence against the framework's test seam.
// The runtime hooks and the raw-hook slot are this test's own: they note
// their calls in the framework's log, so the log shows the whole order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CallLog.h"
#include "ModuleLifecycle.h"

namespace quorbix {

int gRawHookResult = 1;

int RecordingRawHook(void* instance, uint32_t reason, void* reserved) {
  QfwTestNote(("raw hook " + std::to_string(reason)).c_str());
  RawAttachHook(instance, reason, reserved);
  return gRawHookResult;
}

ModuleHook gRawHookSlot = RecordingRawHook;

void RunStaticInitialisers() { QfwTestNote("static initialisers"); }
void RunExitProcessing() { QfwTestNote("exit processing"); }

namespace {

using calllog::Sequence;
using Lines = std::vector<std::string>;

void* const kInstance = reinterpret_cast<void*>(0x10000);

class ModuleSequence : public testing::Test {
 protected:
  void SetUp() override {
    QfwTestReset();
    gExtensionModule = QfwExtensionModule{};
    gRawHookSlot = RecordingRawHook;
    gRawHookResult = 1;
  }
  void TearDown() override { QfwTestReset(); }
};

TEST_F(ModuleSequence, AttachRunsRawHookThenStaticInitialisersThenRegisters) {
  int firstList = 0, secondList = 0;
  QfwModuleState* state = QfwGetModuleState();
  state->firstListHead = &firstList;
  state->secondListHead = &secondList;
  const size_t start = QfwTestCallCount();

  EXPECT_EQ(ModuleStartup(kInstance, kProcessAttach, nullptr), 1);

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
  EXPECT_EQ(ModuleStartup(kInstance, kProcessAttach, nullptr), 0);
  EXPECT_EQ(Sequence(), (Lines{"raw hook 1", "get-state", "static initialisers", "init-refused"}));
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
}

TEST_F(ModuleSequence, FailedAllocationStillAttachesWithoutLibraryRecord) {
  QfwTestFailAllocate(1);
  EXPECT_EQ(ModuleStartup(kInstance, kProcessAttach, nullptr), 1);
  EXPECT_EQ(Sequence(),
            (Lines{"raw hook 1", "get-state", "static initialisers", "init", "allocate 64 null"}));
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
  EXPECT_NE(gExtensionModule.initialised, 0);
}

TEST_F(ModuleSequence, RawHookRefusalStopsAttachBeforeStaticInitialisers) {
  gRawHookResult = 0;
  EXPECT_EQ(ModuleStartup(kInstance, kProcessAttach, nullptr), 0);
  EXPECT_EQ(Sequence(), (Lines{"raw hook 1", "get-state"}));
}

TEST_F(ModuleSequence, ThreadNotificationsTouchNeitherFrameworkNorRawHook) {
  ASSERT_EQ(ModuleStartup(kInstance, kProcessAttach, nullptr), 1);
  const size_t start = QfwTestCallCount();
  EXPECT_EQ(ModuleStartup(kInstance, kThreadAttach, nullptr), 1);
  EXPECT_EQ(ModuleStartup(kInstance, kThreadDetach, nullptr), 1);
  EXPECT_EQ(Sequence(start), Lines{});
  EXPECT_EQ(QfwTestLibraryRecordCount(&gExtensionModule), 1u);
}

TEST_F(ModuleSequence, DetachTerminatesOnceThenExitProcessingThenRawHook) {
  ASSERT_EQ(ModuleStartup(kInstance, kProcessAttach, nullptr), 1);
  const size_t start = QfwTestCallCount();

  EXPECT_EQ(ModuleStartup(kInstance, kProcessDetach, nullptr), 1);

  EXPECT_EQ(Sequence(start), (Lines{"term 0", "exit processing", "raw hook 0"}));
  EXPECT_EQ(calllog::First(QFW_TERM_EXTENSION_MODULE, start).module,
            calllog::First(QFW_INIT_EXTENSION_MODULE).module);
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
  EXPECT_EQ(gExtensionModule.initialised, 0);
}

TEST_F(ModuleSequence, RawHookRefusalOnDetachMakesTheResultZero) {
  ASSERT_EQ(ModuleStartup(kInstance, kProcessAttach, nullptr), 1);
  gRawHookResult = 0;
  EXPECT_EQ(ModuleStartup(kInstance, kProcessDetach, nullptr), 0);
  EXPECT_EQ(QfwTestLibraryRecordCount(nullptr), 0u);
}

TEST_F(ModuleSequence, EmptyRawHookSlotIsSkipped) {
  gRawHookSlot = nullptr;
  EXPECT_EQ(ModuleStartup(kInstance, kProcessAttach, nullptr), 1);
  EXPECT_EQ(ModuleStartup(kInstance, kProcessDetach, nullptr), 1);
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
