#include "tools/cli_params.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "hostsim/terminal_text.h"

namespace tavu::render {

using hostsim::TerminalText;

namespace {

std::string Number(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

std::string ColorText(const PF_Pixel& p) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X%02X", p.alpha, p.red, p.green, p.blue);
  return buf;
}

const char* TypeName(PF_ParamType type) {
  switch (type) {
    case PF_Param_LAYER: return "layer";
    case PF_Param_SLIDER: return "slider";
    case PF_Param_CHECKBOX: return "checkbox";
    case PF_Param_COLOR: return "color";
    case PF_Param_POPUP: return "popup";
    case PF_Param_FLOAT_SLIDER: return "float-slider";
    default: return "other";
  }
}

// A plain decimal number: an optional sign, digits with at most one decimal point (at least one
// digit), and an optional exponent "e" or "E" with an optional sign and digits. Nothing else: no
// hexadecimal, no infinity or NaN, no space on either side.
bool IsPlainDecimal(const std::string& text) {
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t start = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    return i - start;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  return i == text.size();
}

// The nearest double to a plain decimal number. One too small for a double becomes 0 or a
// subnormal, as near as a double comes; one too large for it is refused.
bool ParseNumber(const std::string& text, double* out) {
  if (!IsPlainDecimal(text)) return false;
  // from_chars takes no leading '+'.
  const char* first = text.data() + (text[0] == '+' ? 1 : 0);
  const char* last = text.data() + text.size();
  double v = 0;
  const auto [end, error] = std::from_chars(first, last, v, std::chars_format::general);
  if (end != last) return false;
  if (error == std::errc::result_out_of_range) {
    // Underflow or overflow: strtod tells which, with the correctly rounded result of either.
    v = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(v)) return false;
  } else if (error != std::errc()) {
    return false;
  }
  *out = v == 0 ? 0.0 : v;  // no negative zero
  return true;
}

bool ParseHex(const std::string& digits, unsigned long* out) {
  for (char c : digits)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  *out = std::strtoul(digits.c_str(), nullptr, 16);
  return true;
}

// The module's names, quoted and safe to print.
std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& i : items) out += (out.empty() ? "\"" : ", \"") + TerminalText(i) + "\"";
  return out;
}

// A module may fill the name's whole field, leaving no NUL: the name ends there all the same.
std::string ParamName(const PF_ParamDef& def) {
  return std::string(def.name, strnlen(def.name, sizeof def.name));
}

}  // namespace

std::vector<std::string> Choices(const PF_ParamDef& def) {
  std::vector<std::string> out;
  if (def.param_type != PF_Param_POPUP || def.u.pd.u.namesptr == nullptr) return out;
  std::stringstream ss(def.u.pd.u.namesptr);
  std::string item;
  while (std::getline(ss, item, '|')) out.push_back(item);
  return out;
}

std::string DescribeParam(int index, const PF_ParamDef& def) {
  std::ostringstream line;
  line << index << "  " << TypeName(def.param_type) << "  \"" << TerminalText(ParamName(def))
       << "\"  ";
  switch (def.param_type) {
    case PF_Param_LAYER:
      line << "default " << (def.u.ld.dephault == PF_LayerDefault_MYSELF ? "this layer" : "none");
      break;
    case PF_Param_CHECKBOX:
      line << "default " << (def.u.bd.dephault ? "on" : "off") << "  on|off";
      break;
    case PF_Param_POPUP: {
      const auto choices = Choices(def);
      const int d = def.u.pd.dephault;
      line << "default " << d;
      if (d >= 1 && d <= static_cast<int>(choices.size()))
        line << " (" << TerminalText(choices[d - 1]) << ")";
      line << "  choices";
      for (size_t i = 0; i < choices.size(); ++i)
        line << (i ? " | " : " ") << i + 1 << "=" << TerminalText(choices[i]);
      break;
    }
    case PF_Param_SLIDER:
      line << "default " << def.u.sd.dephault << "  range " << def.u.sd.valid_min << ".."
           << def.u.sd.valid_max;
      break;
    case PF_Param_FLOAT_SLIDER:
      line << "default " << Number(def.u.fs_d.value) << "  range " << Number(def.u.fs_d.valid_min)
           << ".." << Number(def.u.fs_d.valid_max);
      break;
    case PF_Param_COLOR:
      line << "default " << ColorText(def.u.cd.dephault) << "  #RRGGBB or #AARRGGBB";
      break;
    default:
      break;
  }
  return line.str();
}

SetResult ApplySetting(const std::string& setting, std::vector<PF_ParamDef>& params) {
  const size_t eq = setting.find('=');
  if (eq == std::string::npos) return {false, "--set wants NAME=VALUE, got \"" + setting + "\""};
  const std::string name = setting.substr(0, eq);
  const std::string value = setting.substr(eq + 1);

  PF_ParamDef* def = nullptr;
  std::vector<std::string> names;
  for (size_t i = 1; i < params.size(); ++i) {
    if (params[i].param_type == PF_Param_LAYER) {
      if (name == ParamName(params[i])) {
        return {false, "\"" + name + "\" is a layer: give its file with --layer2 FILE|none"};
      }
      continue;
    }
    names.push_back(ParamName(params[i]));
    if (name == names.back()) def = &params[i];
  }
  if (def == nullptr) {
    return {false, "unknown parameter \"" + name + "\"; parameters: " + Joined(names)};
  }

  switch (def->param_type) {
    case PF_Param_POPUP: {
      const auto choices = Choices(*def);
      for (size_t i = 0; i < choices.size(); ++i) {
        if (choices[i] == value) {
          def->u.pd.value = static_cast<PF_ParamValue>(i + 1);
          return {true, ""};
        }
      }
      double n = 0;
      if (ParseNumber(value, &n) && n == std::floor(n) && n >= 1 &&
          n <= static_cast<double>(choices.size())) {
        def->u.pd.value = static_cast<PF_ParamValue>(n);
        return {true, ""};
      }
      return {false, "\"" + value + "\" is not a choice of \"" + name + "\"; choices: " +
                         Joined(choices) + " or their numbers 1.." + std::to_string(choices.size())};
    }
    case PF_Param_CHECKBOX:
      if (value == "on" || value == "off") {
        def->u.bd.value = value == "on" ? 1 : 0;
        return {true, ""};
      }
      return {false, "\"" + name + "\" is a checkbox: on or off"};
    case PF_Param_SLIDER: {
      double n = 0;
      if (ParseNumber(value, &n) && n == std::floor(n) && n >= def->u.sd.valid_min &&
          n <= def->u.sd.valid_max) {
        def->u.sd.value = static_cast<PF_ParamValue>(n);
        return {true, ""};
      }
      return {false, "\"" + name + "\" takes a whole number in " +
                         std::to_string(def->u.sd.valid_min) + ".." +
                         std::to_string(def->u.sd.valid_max)};
    }
    case PF_Param_FLOAT_SLIDER: {
      double n = 0;
      if (ParseNumber(value, &n)) {
        // The ends are single precision: a number beyond one that rounds to it, as the 0.7 the
        // listing shows for 0.7f does, is that end.
        const float rounded = static_cast<float>(n);
        if (n < def->u.fs_d.valid_min && rounded == def->u.fs_d.valid_min) n = rounded;
        if (n > def->u.fs_d.valid_max && rounded == def->u.fs_d.valid_max) n = rounded;
        if (n >= def->u.fs_d.valid_min && n <= def->u.fs_d.valid_max) {
          def->u.fs_d.value = n;
          return {true, ""};
        }
      }
      return {false, "\"" + name + "\" takes a number in " + Number(def->u.fs_d.valid_min) + ".." +
                         Number(def->u.fs_d.valid_max)};
    }
    case PF_Param_COLOR: {
      unsigned long v = 0;
      if (value.size() == 7 && value[0] == '#' && ParseHex(value.substr(1), &v)) {
        def->u.cd.value = PF_Pixel{255, static_cast<A_u_char>(v >> 16),
                                   static_cast<A_u_char>(v >> 8), static_cast<A_u_char>(v)};
        return {true, ""};
      }
      if (value.size() == 9 && value[0] == '#' && ParseHex(value.substr(1), &v)) {
        def->u.cd.value = PF_Pixel{static_cast<A_u_char>(v >> 24), static_cast<A_u_char>(v >> 16),
                                   static_cast<A_u_char>(v >> 8), static_cast<A_u_char>(v)};
        return {true, ""};
      }
      return {false, "\"" + name + "\" takes a colour as #RRGGBB or #AARRGGBB"};
    }
    default:
      return {false, "\"" + name + "\" cannot be set from the command line"};
  }
}

}  // namespace tavu::render
