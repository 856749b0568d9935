// The command line of tavu-render, parsed into what to run. Only the form of the arguments is
// checked here; whether a parameter exists or a file can be read is learned later, from the
// module and the files themselves.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "hostsim/host.h"

namespace tavu::render {

extern const char kUsage[];

enum class Mode { kRender, kListParams, kAbout, kHelp };

// The second layer: the parameter's default (the layer itself), none, or a file.
struct SecondLayer {
  enum class Source { kDefault, kNone, kFile } source = Source::kDefault;
  std::string path;
};

struct Options {
  Mode mode = Mode::kRender;
  std::string effect;  // --effect NAME, or empty
  std::string module;  // --module PATH, or empty
  hostsim::HostApp host = hostsim::HostApp::AfterEffects;
  int depth = 8;
  bool smart = false;
  std::optional<int> threads;  // default: all cores
  std::string layer;
  SecondLayer layer2;
  std::vector<std::string> settings;  // NAME=VALUE, in command-line order
  std::string output;
};

// A malformed command line; its message says what is wrong, not how to use the tool.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

Options ParseOptions(const std::vector<std::string>& args);

}  // namespace tavu::render
