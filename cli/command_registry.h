// The `shimmerly` subcommands. Each subcommand lives in its own file and registers itself with a
// static CommandRegistration: a name, a one-line description and a function that adds its options
// to its CLI11 subcommand and returns the action to run when it is chosen.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace shimmerly::cli {

// Options shared by every subcommand that drives the plug-in.
struct GlobalOptions {
  std::string pluginPath;  // empty: the plug-in beside the executable
  std::string hostVersion = "13.0";
  std::string presetsHome;  // empty: the user's own home folder
};

// The action of a chosen subcommand: returns the process's exit code.
using CommandAction = std::function<int()>;
// Adds the subcommand's options to app; the action runs after parsing.
using CommandSetup = std::function<CommandAction(CLI::App& app, const GlobalOptions& global)>;

struct CommandEntry {
  std::string name;
  std::string description;
  CommandSetup setup;
};

std::vector<CommandEntry>& commandRegistry();

struct CommandRegistration {
  CommandRegistration(std::string name, std::string description, CommandSetup setup) {
    commandRegistry().push_back({std::move(name), std::move(description), std::move(setup)});
  }
};

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCancelled = 130;

}  // namespace shimmerly::cli
