#include "tracer/forwarding_tracer.h"

namespace halvane::tracer {
namespace {

std::atomic<ForwardingTracer*> installed{nullptr};

}  // namespace

void ForwardingTracer::install(ForwardingTracer* tracer) {
  installed.store(tracer);
}

int ForwardingTracer::setEventCallback(OnlineCallbackFn online, SpareCallbackFn spare,
                                       StatusCallbackFn status) {
  online_.store(online);
  spare_.store(spare);
  status_.store(status);
  return forward<PCAN_SetEventCallback_fn>(
      "PCAN_SetEventCallback", online == nullptr ? nullptr : &ForwardingTracer::onlineHook,
      spare == nullptr ? nullptr : &ForwardingTracer::spareHook,
      status == nullptr ? nullptr : &ForwardingTracer::statusHook);
}

int HALVANE_STDCALL ForwardingTracer::onlineHook(int node, int state) {
  ForwardingTracer* self = installed.load();
  if (self == nullptr) {
    return 0;
  }
  self->log_.write(trace::onlineCallbackRecord(node, state));
  const OnlineCallbackFn fn = self->online_.load();
  return fn == nullptr ? 0 : fn(node, state);
}

int HALVANE_STDCALL ForwardingTracer::spareHook(int value) {
  ForwardingTracer* self = installed.load();
  if (self == nullptr) {
    return 0;
  }
  self->log_.write(trace::spareCallbackRecord(value));
  const SpareCallbackFn fn = self->spare_.load();
  return fn == nullptr ? 0 : fn(value);
}

int HALVANE_STDCALL ForwardingTracer::statusHook(int node, int kind, unsigned char* status,
                                                 int value) {
  ForwardingTracer* self = installed.load();
  if (self == nullptr) {
    return 0;
  }
  self->log_.write(trace::statusCallbackRecord(node, kind, status, value));
  const StatusCallbackFn fn = self->status_.load();
  return fn == nullptr ? 0 : fn(node, kind, status, value);
}

}  // namespace halvane::tracer
