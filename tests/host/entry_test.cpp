// The entry point's dispatch: the busy flag, commands that must leave the output record alone,
// sequence set-down, the failure guard's three messages and codes, and the slider form chosen
// from the host's version.
#include <gtest/gtest.h>

#include <ostream>

#include <cstring>
#include <stdexcept>

#include "core/errors.h"
#include "host/entry.h"
#include "host/plugin_state.h"

namespace shimmerly {
namespace {

// Replaces one command's handler for the length of a test.
class HandlerSwap {
 public:
  HandlerSwap(PF_Cmd cmd, EntryHandler handler) : cmd_(cmd), saved_(commandTable()[cmd]) {
    commandTable()[cmd] = handler;
  }
  ~HandlerSwap() { commandTable()[cmd_] = saved_; }

 private:
  PF_Cmd cmd_;
  EntryHandler saved_;
};

class EntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    in_.version = {13, 0};
    std::memset(&out_, 0xA5, sizeof out_);
  }
  void TearDown() override { pluginState().currentInData = nullptr; }

  PF_Err send(PF_Cmd cmd, void* extra = nullptr) {
    return pluginMain(cmd, &in_, &out_, nullptr, nullptr, extra);
  }
  bool outUntouched() const {
    PF_OutData sentinel;
    std::memset(&sentinel, 0xA5, sizeof sentinel);
    return std::memcmp(&sentinel, &out_, sizeof out_) == 0;
  }

  PF_InData in_{};
  PF_OutData out_{};
};

int gHandlerRuns = 0;
PF_Err countRun(PF_InData*, PF_OutData* out, PF_ParamDef*[], PF_LayerDef*, void*) {
  ++gHandlerRuns;
  out->my_version = 1;
  return PF_Err_NONE;
}

// Re-enters main while it runs, as a host does when a modal box lets it process events.
PF_Err gNestedResult = -1;
PF_OutData gNestedOut;
PF_Err reenter(PF_InData* in, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*) {
  std::memset(&gNestedOut, 0x5A, sizeof gNestedOut);
  gNestedResult = pluginMain(PF_Cmd_ABOUT, in, &gNestedOut, nullptr, nullptr, nullptr);
  return 7;
}

TEST_F(EntryTest, CallWhileBusyRunsNothingAndTouchesNothing) {
  HandlerSwap render(PF_Cmd_RENDER, reenter);
  HandlerSwap aboutBox(PF_Cmd_ABOUT, countRun);
  gHandlerRuns = 0;
  EXPECT_EQ(send(PF_Cmd_RENDER), 7);
  EXPECT_EQ(gNestedResult, PF_Err_NONE);
  EXPECT_EQ(gHandlerRuns, 0);
  PF_OutData sentinel;
  std::memset(&sentinel, 0x5A, sizeof sentinel);
  EXPECT_EQ(std::memcmp(&sentinel, &gNestedOut, sizeof sentinel), 0);
  // Not busy any more: the next command runs.
  EXPECT_EQ(send(PF_Cmd_ABOUT), PF_Err_NONE);
  EXPECT_EQ(gHandlerRuns, 1);
}

class NoOpSelectorTest : public EntryTest, public ::testing::WithParamInterface<PF_Cmd> {};

TEST_P(NoOpSelectorTest, LeavesOutputRecordUntouched) {
  EXPECT_EQ(send(GetParam()), PF_Err_NONE);
  EXPECT_TRUE(outUntouched());
}

INSTANTIATE_TEST_SUITE_P(Selectors, NoOpSelectorTest,
                         ::testing::Values(PF_Cmd_UNUSED_0, PF_Cmd_SEQUENCE_FLATTEN,
                                           PF_Cmd_DO_DIALOG, PF_Cmd_FRAME_SETUP,
                                           PF_Cmd_FRAME_SETDOWN, 14u, 15u, 1000u, 0xFFFFFFFFu));

TEST_F(EntryTest, SequenceSetdownClearsBothSequenceRecords) {
  int a = 0, b = 0;
  in_.sequence_data = &a;
  out_.sequence_data = &b;
  EXPECT_EQ(send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
  EXPECT_EQ(in_.sequence_data, nullptr);
  EXPECT_EQ(out_.sequence_data, nullptr);
}

TEST_F(EntryTest, FirstCommandCreatesThePresetManager) {
  send(PF_Cmd_FRAME_SETUP);
  EXPECT_NE(pluginState().presetManager, nullptr);
  EXPECT_EQ(pluginState().currentInData, &in_);
}

struct FailureCase {
  const char* name;
  EntryHandler raise;
  const char* message;
  PF_Err result;
};

PF_Err raiseBase(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*) {
  throw eBaseError{101};
}
PF_Err raiseOrbixNegative(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*) {
  throw eOrbixError{-42};
}
PF_Err raiseOrbix(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*) {
  throw eOrbixError{2147483647};
}
PF_Err raiseAllocation(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*) {
  throwBadAllocation();
}
PF_Err raiseOther(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*) {
  throw std::runtime_error("anything");
}
PF_Err raiseInt(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*) {
  throw 3;
}

std::string caseName(const ::testing::TestParamInfo<FailureCase>& info) {
  return info.param.name;
}

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class FailureGuardTest : public EntryTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureGuardTest, ReportsMessageAndCodeAndClearsBusy) {
  const FailureCase& c = GetParam();
  HandlerSwap swap(PF_Cmd_RENDER, c.raise);
  out_.out_flags = PF_OutFlag_REFRESH_UI;
  std::strcpy(out_.return_msg, "old text that is longer than any of the messages, to be replaced");
  EXPECT_EQ(send(PF_Cmd_RENDER), c.result);
  EXPECT_STREQ(out_.return_msg, c.message);
  EXPECT_EQ(out_.out_flags, PF_OutFlag_REFRESH_UI | PF_OutFlag_DISPLAY_ERROR_MESSAGE);
  EXPECT_FALSE(pluginState().busy);
  HandlerSwap ok(PF_Cmd_ABOUT, countRun);
  gHandlerRuns = 0;
  EXPECT_EQ(send(PF_Cmd_ABOUT), PF_Err_NONE);
  EXPECT_EQ(gHandlerRuns, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Raised, FailureGuardTest,
    ::testing::Values(
        FailureCase{"Base", raiseBase, "Unable to complete the operation. (*3)", 4},
        FailureCase{"OrbixNegative", raiseOrbixNegative,
                    "Fatal Shimmerly error (-42) occurred during operation.", 512},
        FailureCase{"OrbixLargest", raiseOrbix,
                    "Fatal Shimmerly error (2147483647) occurred during operation.", 512},
        FailureCase{"Allocation", raiseAllocation, "Unable to complete the operation. (*4)", 4},
        FailureCase{"Runtime", raiseOther, "Unable to complete the operation. (*4)", 4},
        FailureCase{"NotAnException", raiseInt, "Unable to complete the operation. (*4)", 4}),
    caseName);

PF_Err returnCancel(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*) {
  return PF_Interrupt_CANCEL;
}

TEST_F(EntryTest, ReturnedCodePassesWithoutMessage) {
  HandlerSwap swap(PF_Cmd_RENDER, returnCancel);
  EXPECT_EQ(send(PF_Cmd_RENDER), PF_Interrupt_CANCEL);
  EXPECT_TRUE(outUntouched());
}

struct VersionCase {
  int16_t major, minor;
  bool floatSliders;
};

void PrintTo(const VersionCase& c, std::ostream* os) {
  *os << c.major << "." << c.minor;
}

class HostVersionTest : public EntryTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(HostVersionTest, SelectsSliderFormAtEveryCall) {
  const VersionCase& c = GetParam();
  in_.version = {c.major, c.minor};
  pluginState().hostHasFloatSliders = !c.floatSliders;
  send(PF_Cmd_FRAME_SETUP);
  EXPECT_EQ(pluginState().hostHasFloatSliders, c.floatSliders);
  EXPECT_EQ(hostHasFloatSlidersFor({c.major, c.minor}), c.floatSliders);
}

INSTANTIATE_TEST_SUITE_P(Versions, HostVersionTest,
                         ::testing::Values(VersionCase{11, 15, false}, VersionCase{12, 9, false},
                                           VersionCase{12, 10, true}, VersionCase{12, 11, true},
                                           VersionCase{13, 0, true}, VersionCase{-1, 99, false}));

}  // namespace
}  // namespace shimmerly
