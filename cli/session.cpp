// Plug-in sessions of the subcommands.
#include "cli/session.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace shimmerly::cli {
namespace {

bool parsePart(const std::string& text, int16_t& value) {
  int parsed = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return false;
  if (parsed < 0 || parsed > 32767) return false;
  value = static_cast<int16_t>(parsed);
  return true;
}

}  // namespace

PF_SpecVersion parseHostVersion(const std::string& text) {
  size_t dot = text.find('.');
  PF_SpecVersion version{};
  if (dot == std::string::npos || !parsePart(text.substr(0, dot), version.major) ||
      !parsePart(text.substr(dot + 1), version.minor))
    throw std::runtime_error("--host-version: expected MAJOR.MINOR (each 0 to 32767), got \"" +
                             text + "\"");
  return version;
}

std::unique_ptr<PluginHost> loadPlugin(const GlobalOptions& global) {
  PF_SpecVersion version = parseHostVersion(global.hostVersion);
#ifndef _WIN32
  if (!global.presetsHome.empty()) {
    std::error_code error;
    if (!std::filesystem::is_directory(global.presetsHome, error))
      throw std::runtime_error("--presets-home: \"" + global.presetsHome + "\" is not a folder");
    setenv("HOME", global.presetsHome.c_str(), 1);
  }
#endif
  std::string path = global.pluginPath.empty() ? defaultPluginPath() : global.pluginPath;
  std::unique_ptr<PluginHost> host = PluginHost::open(path);
  host->setHostVersion(version.major, version.minor);
  return host;
}

void useRenderThreads(int threads) {
  const std::string count = threads > 0 ? std::to_string(threads) : std::string();
#ifdef _WIN32
  _putenv_s("SHIMMERLY_THREADS", count.c_str());  // an empty value removes the variable
#else
  if (count.empty())
    unsetenv("SHIMMERLY_THREADS");
  else
    setenv("SHIMMERLY_THREADS", count.c_str(), 1);
#endif
}

std::unique_ptr<PluginHost> openSession(const GlobalOptions& global) {
  std::unique_ptr<PluginHost> host = loadPlugin(global);
  host->start();
  return host;
}

}  // namespace shimmerly::cli
