#include "tools/render_options.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "tools/image_io.h"

namespace tavu::render {

const char kUsage[] =
    "usage: tavu-render (--effect NAME | --module PATH) [--host ae|premiere] [--depth 8|16|32]\n"
    "                   [--smart] [--threads N] --layer FILE [--layer2 FILE|none]\n"
    "                   [--set NAME=VALUE]... --output FILE\n"
    "       tavu-render (--effect NAME | --module PATH) [--host ae|premiere] --list-params\n"
    "       tavu-render (--effect NAME | --module PATH) [--host ae|premiere] --about\n"
    "NAME: blending, combine-rgba, brightness-check, color-gray. FILE: .png or .exr.\n"
    "Exit status: 0 done, 1 file error, 2 usage or parameter error, 3 the module returned an\n"
    "error code.\n";

namespace {

// Decimal digits only, as --set takes numbers: no sign, space or other base.
int WholeNumber(const std::string& option, const std::string& text, int min, int max) {
  long v = -1;
  if (!text.empty() && text.size() <= 9 &&
      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    v = std::strtol(text.c_str(), nullptr, 10);
  }
  if (v < min || v > max) {
    throw UsageError(option + " takes a whole number in " + std::to_string(min) + ".." +
                     std::to_string(max) + ", got \"" + text + "\"");
  }
  return static_cast<int>(v);
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& args) {
  Options o;
  std::set<std::string> seen;
  std::set<std::string> setNames;  // the parameters --set names
  bool listParams = false, about = false;

  // Options that take a value, by name; each parses its own value.
  const std::map<std::string, std::function<void(const std::string&)>> valued = {
      {"--effect", [&](const std::string& v) { o.effect = v; }},
      {"--module", [&](const std::string& v) { o.module = v; }},
      {"--host",
       [&](const std::string& v) {
         if (v == "ae") {
           o.host = hostsim::HostApp::AfterEffects;
         } else if (v == "premiere") {
           o.host = hostsim::HostApp::Premiere;
         } else {
           throw UsageError("--host takes ae or premiere, got \"" + v + "\"");
         }
       }},
      {"--depth",
       [&](const std::string& v) {
         if (v != "8" && v != "16" && v != "32") {
           throw UsageError("--depth takes 8, 16 or 32, got \"" + v + "\"");
         }
         o.depth = std::atoi(v.c_str());
       }},
      {"--threads",
       [&](const std::string& v) { o.threads = WholeNumber("--threads", v, 1, 1024); }},
      {"--layer", [&](const std::string& v) { o.layer = v; }},
      {"--layer2",
       [&](const std::string& v) {
         o.layer2.source = v == "none" ? SecondLayer::Source::kNone : SecondLayer::Source::kFile;
         o.layer2.path = v;
       }},
      {"--set",
       [&](const std::string& v) {
         // The same parameter set twice would leave one of the values silently unused.
         const std::string name = v.substr(0, v.find('='));
         if (v.find('=') != std::string::npos && !setNames.insert(name).second) {
           throw UsageError("--set \"" + name + "\" given twice");
         }
         o.settings.push_back(v);
       }},
      {"--output", [&](const std::string& v) { o.output = v; }},
  };

  // The options whose value names a file, a module or an effect.
  const std::set<std::string> nameOptions = {"--effect", "--module", "--layer", "--layer2",
                                             "--output"};

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      o.mode = Mode::kHelp;
      return o;
    }
    const auto option = valued.find(arg);
    const bool flag = arg == "--smart" || arg == "--list-params" || arg == "--about";
    if (option == valued.end() && !flag) throw UsageError("unknown argument \"" + arg + "\"");
    // --set may repeat; any other option given twice is more likely a slip than a wish.
    if (arg != "--set" && !seen.insert(arg).second) throw UsageError(arg + " given twice");
    if (arg == "--smart") {
      o.smart = true;
    } else if (arg == "--list-params") {
      listParams = true;
    } else if (arg == "--about") {
      about = true;
    } else {
      if (i + 1 == args.size()) throw UsageError(arg + " needs a value");
      const std::string& value = args[++i];
      // An empty name (an unset shell variable, most often) names no file, module or effect:
      // told as such, not as a file or effect that has no name or was never given.
      if (value.empty() && nameOptions.count(arg) != 0) {
        throw UsageError(arg + ": the value is empty");
      }
      option->second(value);
    }
  }

  if (o.effect.empty() == o.module.empty()) {
    throw UsageError("give exactly one of --effect NAME and --module PATH");
  }
  if (listParams && about) throw UsageError("--list-params and --about are separate runs");

  if (listParams || about) {
    o.mode = listParams ? Mode::kListParams : Mode::kAbout;
    for (const char* renderOnly :
         {"--depth", "--smart", "--threads", "--layer", "--layer2", "--set", "--output"}) {
      if (seen.count(renderOnly) != 0 ||
          (std::string(renderOnly) == "--set" && !o.settings.empty())) {
        throw UsageError(std::string(renderOnly) + " belongs to a render, not to " +
                         (listParams ? "--list-params" : "--about"));
      }
    }
    return o;
  }

  if (o.layer.empty()) throw UsageError("a render needs --layer FILE");
  if (o.output.empty()) throw UsageError("a render needs --output FILE");
  if (!ImageFileTypeFor(o.output)) {
    // ".png" alone is a hidden file's name, with no extension: what it lacks is the name.
    const std::string name = std::filesystem::path(o.output).filename().string();
    if (ImageFileTypeFor("a" + name)) {
      throw UsageError("--output " + o.output + ": a name is missing before " + name);
    }
    throw UsageError("--output " + o.output + ": the name must end in .png or .exr");
  }
  // Premiere Pro hands effects 8-bit or float BGRA frames; it has no 16-bit frame to give.
  if (o.host == hostsim::HostApp::Premiere && o.depth == 16) {
    throw UsageError(
        "Premiere Pro renders 8-bit or 32-bit float frames only; "
        "--depth 16 needs --host ae");
  }
  // Premiere Pro renders a frame on one thread; it hands out no rows to share among threads.
  if (o.host == hostsim::HostApp::Premiere && o.threads) {
    throw UsageError(
        "--threads: Premiere Pro renders a frame on one thread; "
        "--threads needs --host ae");
  }
  return o;
}

}  // namespace tavu::render
