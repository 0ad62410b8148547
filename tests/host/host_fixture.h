// A host for in-process tests of the plug-in: the command-line host's driver wired straight to
// pluginMain, with HOME pointed at a fresh temporary folder so that the preset library sees an
// empty documents folder.
#pragma once

#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "cli/plugin_host.h"
#include "host/entry.h"
#include "host/plugin_state.h"
#include "support/temp_dir.h"

namespace shimmerly::testing {

class InProcessHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* home = std::getenv("HOME");
    savedHome_ = home ? home : "";
    hadHome_ = home != nullptr;
    setenv("HOME", home_.str().c_str(), 1);
    host_ = std::make_unique<cli::PluginHost>(pluginMain, "/opt/hosts/Plug-ins/Shimmerly.so");
  }
  void TearDown() override {
    host_.reset();
    pluginState().currentInData = nullptr;
    if (hadHome_)
      setenv("HOME", savedHome_.c_str(), 1);
    else
      unsetenv("HOME");
  }

  cli::PluginHost& host() { return *host_; }
  const TempDir& home() const { return home_; }

 private:
  TempDir home_;
  std::string savedHome_;
  bool hadHome_ = false;
  std::unique_ptr<cli::PluginHost> host_;
};

}  // namespace shimmerly::testing
