// Smart pre-render: the effect needs exactly the host's request of its input layer, and its
// result covers what the input covers.
#include "framework/handlers.h"
#include "host/rect_helpers.h"

namespace tavu::framework {

PF_Err SmartPreRender(PF_InData* in_data, PF_OutData*, PF_PreRenderExtra* extra) {
  // A copy of the whole record, reserved words included, so the host sees its own request.
  PF_RenderRequest request = extra->input->output_request;
  PF_CheckoutResult checkout{};
  // Checkout id 0 is the id under which smart render later asks for the input's pixels. The
  // second layer is not checked out here: render takes it through parameter checkout.
  const PF_Err err = extra->cb->checkout_layer(in_data->effect_ref, 0, 0, &request,
                                               in_data->current_time, in_data->time_step,
                                               in_data->time_scale, &checkout);
  if (err == PF_Err_NONE) {
    host::UnionLRect(&checkout.result_rect, &extra->output->result_rect);
    host::UnionLRect(&checkout.max_result_rect, &extra->output->max_result_rect);
  }
  return err;
}

}  // namespace tavu::framework
