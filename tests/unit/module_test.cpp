// The life-cycle events and the callbacks with fixed results.
#include "module/exports.h"
#include "module/state.h"
#include "tests/stubs/recorder.h"

#include <gtest/gtest.h>

namespace {

const std::vector<std::string> about_text = {"Tollwick V1.0, Module Edition",
                                             "By the Tollwick project, 2026",
                                             "Commands: @TW-AutoEnable, @TW-SetWave"};

class Module : public testing::Test {
protected:
  void SetUp() override { reset_module_and_recorder(); }
};

TEST_F(Module, EnableAndDisableOnlyChangeEnabled) {
  EXPECT_EQ(on_module(2, nullptr), 0);
  EXPECT_EQ(enabled, -1);
  EXPECT_EQ(on_module(2, nullptr), 0);
  EXPECT_EQ(enabled, -1);
  EXPECT_EQ(on_module(3, nullptr), 0);
  EXPECT_EQ(enabled, 0);
  EXPECT_EQ(auto_enable, 0);
  EXPECT_TRUE(ini_path.empty());
  EXPECT_TRUE(recorded.spoken.empty());
}

TEST_F(Module, AboutSpeaksThreeLinesAtAnyTime) {
  EXPECT_EQ(on_module(4, nullptr), 0);
  EXPECT_EQ(recorded.spoken, about_text);
}

TEST_F(Module, OtherEventsDoNothing) {
  for (const int32_t event : {5, -1, 1000, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(on_module(event, nullptr), 0) << event;
  }
  EXPECT_EQ(enabled, 0);
  EXPECT_TRUE(recorded.spoken.empty());
  EXPECT_TRUE(recorded.root_requests.empty());
}

TEST_F(Module, CallbacksWithoutDutiesAnswerZero) {
  EXPECT_EQ(on_client(), 0);
  EXPECT_EQ(on_wndproc(), 0);
  EXPECT_EQ(on_world(), 0);
  on_onet();
  EXPECT_TRUE(recorded.spoken.empty());
}

TEST_F(Module, StartStoresTheIdentifierAndAsksTheHost) {
  recorded.module_root = "mods";
  const int32_t id = 0x7EADBEEF;
  EXPECT_EQ(on_module(0, &id), 0);
  EXPECT_EQ(module_id, id);
  EXPECT_EQ(recorded.root_requests, std::vector<int32_t>{id});
  EXPECT_EQ(recorded.enable_requests, (std::vector<enable_request>{{id, 0}}));
}

TEST_F(Module, StartWithANullParamReadsIdentifierZero) {
  module_id = 42;
  EXPECT_EQ(on_module(0, nullptr), 0);
  EXPECT_EQ(module_id, 0);
  EXPECT_EQ(recorded.enable_requests, (std::vector<enable_request>{{0, 0}}));
}

} // namespace
