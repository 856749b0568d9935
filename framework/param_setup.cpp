#include "framework/param_setup.h"

#include <cstring>

namespace tavu::framework {

namespace {
// Float sliders snap to this tolerance when the host draws their value curve.
constexpr PF_FpShort kCurveTolerance = 0.05f;
}  // namespace

ParamSpec LayerParam(const char* name) {
  ParamSpec s{PF_Param_LAYER, name};
  s.value = PF_LayerDefault_MYSELF;
  return s;
}

ParamSpec CheckboxParam(const char* name, bool value) {
  ParamSpec s{PF_Param_CHECKBOX, name};
  s.value = value ? 1 : 0;
  s.text = "";
  return s;
}

ParamSpec PopupParam(const char* name, const char* choices, int defaultChoice) {
  ParamSpec s{PF_Param_POPUP, name};
  s.value = defaultChoice;
  s.text = choices;
  return s;
}

ParamSpec SliderParam(const char* name, int min, int max, int value) {
  ParamSpec s{PF_Param_SLIDER, name};
  s.value = value;
  s.validMin = s.sliderMin = min;
  s.validMax = s.sliderMax = max;
  return s;
}

ParamSpec FloatSliderParam(const char* name, double min, double max, double value,
                           A_short precision, A_short displayFlags) {
  ParamSpec s{PF_Param_FLOAT_SLIDER, name};
  s.value = value;
  s.validMin = s.sliderMin = min;
  s.validMax = s.sliderMax = max;
  s.precision = precision;
  s.displayFlags = displayFlags;
  return s;
}

ParamSpec ColorParam(const char* name, PF_Pixel value) {
  ParamSpec s{PF_Param_COLOR, name};
  s.color = value;
  return s;
}

ParamSpec MixParam() {
  return FloatSliderParam("Mix", 0, 100, 100, PF_Precision_HUNDREDTHS,
                          PF_ValueDisplayFlag_PERCENT);
}

A_short CountChoices(const char* choices) {
  A_short n = 1;
  for (const char* c = choices; *c != '\0'; ++c) n += (*c == '|') ? 1 : 0;
  return n;
}

namespace {
void Fill(const ParamSpec& s, PF_ParamDef* def) {
  switch (s.type) {
    case PF_Param_LAYER:
      def->u.ld.dephault = static_cast<A_long>(s.value);
      break;
    case PF_Param_CHECKBOX:
      def->u.bd.value = static_cast<PF_ParamValue>(s.value);
      def->u.bd.dephault = static_cast<PF_Boolean>(s.value);
      def->u.bd.u.nameptr = s.text;
      break;
    case PF_Param_POPUP:
      def->u.pd.num_choices = CountChoices(s.text);
      def->u.pd.value = static_cast<PF_ParamValue>(s.value);
      def->u.pd.dephault = static_cast<A_short>(s.value);
      def->u.pd.u.namesptr = s.text;
      break;
    case PF_Param_SLIDER:
      def->u.sd.valid_min = static_cast<PF_ParamValue>(s.validMin);
      def->u.sd.valid_max = static_cast<PF_ParamValue>(s.validMax);
      def->u.sd.slider_min = static_cast<PF_ParamValue>(s.sliderMin);
      def->u.sd.slider_max = static_cast<PF_ParamValue>(s.sliderMax);
      def->u.sd.value = static_cast<PF_ParamValue>(s.value);
      def->u.sd.dephault = static_cast<PF_ParamValue>(s.value);
      break;
    case PF_Param_FLOAT_SLIDER:
      def->u.fs_d.value = s.value;
      def->u.fs_d.dephault = static_cast<PF_FpShort>(s.value);
      def->u.fs_d.valid_min = static_cast<PF_FpShort>(s.validMin);
      def->u.fs_d.valid_max = static_cast<PF_FpShort>(s.validMax);
      def->u.fs_d.slider_min = static_cast<PF_FpShort>(s.sliderMin);
      def->u.fs_d.slider_max = static_cast<PF_FpShort>(s.sliderMax);
      def->u.fs_d.precision = s.precision;
      def->u.fs_d.display_flags = s.displayFlags;
      def->u.fs_d.curve_tolerance = kCurveTolerance;
      break;
    case PF_Param_COLOR:
      def->u.cd.value = s.color;
      def->u.cd.dephault = s.color;
      break;
    default:
      break;
  }
}
}  // namespace

PF_Err AddParameters(PF_InData* in_data, PF_OutData* out_data, const ParamSpec* specs, int count) {
  PF_ParamDef def;
  for (int i = 0; i < count; ++i) {
    // Every field the table does not name is zero, flags and UI hints included.
    std::memset(&def, 0, sizeof def);
    def.param_type = specs[i].type;
    in_data->utils->ansi.strcpy(def.name, specs[i].name);
    Fill(specs[i], &def);
    def.uu.id = i + 1;
    if (const PF_Err err = in_data->inter.add_param(in_data->effect_ref, -1, &def)) return err;
  }
  out_data->num_params = count + 1;
  return PF_Err_NONE;
}

}  // namespace tavu::framework
