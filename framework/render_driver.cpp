#include "framework/render_driver.h"

#include <algorithm>
#include <cstdint>

#include "framework/pixel_access.h"
#include "host/suite_handler.h"

namespace tavu::framework {
namespace {

// A suite acquired straight from the basic suite, released when the scope ends (also while the
// missing-iterate-suite error unwinds). Only an acquisition that succeeded and handed out a table
// is released: a host that reports an error may still write a pointer, which is neither trusted
// nor given back.
class AcquiredSuite {
 public:
  AcquiredSuite(const SPBasicSuite* basic, const char* name, int32_t version)
      : basic_(basic), name_(name), version_(version) {
    const void* table = nullptr;
    error_ = basic_->AcquireSuite(name_, version_, &table);
    if (error_ == kSPNoError) suite_ = table;
  }
  ~AcquiredSuite() {
    if (suite_ != nullptr) basic_->ReleaseSuite(name_, version_);
  }
  AcquiredSuite(const AcquiredSuite&) = delete;
  AcquiredSuite& operator=(const AcquiredSuite&) = delete;

  // The code to end the render with when no table is at hand: the host's own error, or 516 for a
  // success that handed out nothing (using it would dereference null; reporting success would
  // claim a frame that was never rendered).
  PF_Err Failure() const {
    if (error_ != kSPNoError) return error_;
    return suite_ == nullptr ? PF_Err_BAD_CALLBACK_PARAM : PF_Err_NONE;
  }
  // The host's own error alone, for a suite the render acquires but never calls.
  PF_Err HostError() const { return error_; }
  template <class Table>
  const Table* As() const {
    return static_cast<const Table*>(suite_);
  }

 private:
  const SPBasicSuite* basic_;
  const char* name_;
  int32_t version_;
  SPErr error_ = kSPNoError;
  const void* suite_ = nullptr;
};

PF_Err RenderPremiereFrame(PF_InData* in_data, PF_LayerDef* input, RenderData* rd,
                           PF_LayerDef* output, const RowRoutines& routines) {
  const AcquiredSuite formats(in_data->pica_basicP, kPFPixelFormatSuite,
                              kPFPixelFormatSuiteVersion);
  if (const PF_Err err = formats.Failure()) return err;
  // Stands when the query writes nothing; the query's own code is not examined.
  PrPixelFormat format = PrPixelFormat_BGRA_4444_8u;
  formats.As<PF_PixelFormatSuite>()->GetPixelFormat(output, &format);
  // Computed in 64 bits: a wild extent must not overflow. The frame routines bound it by both
  // worlds' heights.
  const int64_t rows = int64_t{output->extent_hint.bottom} - output->extent_hint.top;
  const A_long rowCount = static_cast<A_long>(std::clamp<int64_t>(rows, -1, INT32_MAX));
  switch (format) {
    case PrPixelFormat_BGRA_4444_8u:
      RecordFrame<LayoutBgra8>(rd);
      return routines.bgra8(in_data, 0, rowCount, input, rd, output);
    case PrPixelFormat_BGRA_4444_32f:
    case PrPixelFormat_BGRA_4444_32f_Linear:
      RecordFrame<LayoutBgraFloat>(rd);
      return routines.bgraFloat(in_data, 0, rowCount, input, rd, output);
    default:
      return PF_Err_UNRECOGNIZED_PARAM_TYPE;
  }
}

}  // namespace

PF_Err DoRender(PF_InData* in_data, PF_LayerDef* input, RenderData* rd, PF_OutData*,
                PF_LayerDef* output, PF_ParamDef*[], const RowRoutines& routines) {
  // Declared first so it dies last: the World Suite goes back before the iterate suite.
  AEGP_SuiteHandler suites(in_data->pica_basicP);
  const AcquiredSuite world(in_data->pica_basicP, kPFWorldSuite, kPFWorldSuiteVersion);

  // Premiere Pro takes the format from the Pixel Format Suite and never calls the World Suite:
  // only the host's refusal of it ends the render there, a success without a table does not.
  if (in_data->appl_id == PF_APPL_ID_PREMIERE) {
    if (const PF_Err err = world.HostError()) return err;
    return RenderPremiereFrame(in_data, input, rd, output, routines);
  }
  if (const PF_Err err = world.Failure()) return err;

  // The host writes the code straight into the context; the query's own code is not examined.
  world.As<PF_WorldSuite>()->PF_GetPixelFormat(output, &rd->pixelFormat);

  // One column, as many rows as the output: the host calls the row routine once per row. The
  // height and the origin go to the host whole: a frame may be far taller than 32767 rows, and
  // every one of them is a row to run.
  const PF_Rect area{0, 0, 1, output->height};
  const PF_Point origin{in_data->output_origin_x, in_data->output_origin_y};
  const A_long progressFinal = output->height;

  switch (rd->pixelFormat) {
    case PF_PixelFormat_ARGB128:
      RecordFrame<LayoutArgbFloat>(rd);
      return suites.IterateFloatSuite1()->iterate_origin(in_data, 0, progressFinal, input, &area,
                                                         &origin, rd, routines.argbFloat, output);
    case PF_PixelFormat_ARGB64:
      RecordFrame<LayoutArgb16>(rd);
      return suites.Iterate16Suite1()->iterate_origin(in_data, 0, progressFinal, input, &area,
                                                      &origin, rd, routines.argb16, output);
    case PF_PixelFormat_ARGB32:
      RecordFrame<LayoutArgb8>(rd);
      return suites.Iterate8Suite1()->iterate_origin(in_data, 0, progressFinal, input, &area,
                                                     &origin, rd, routines.argb8, output);
    default:
      return PF_Err_BAD_CALLBACK_PARAM;
  }
}

}  // namespace tavu::framework
