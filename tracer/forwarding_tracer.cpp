#include "tracer/forwarding_tracer.h"

#include "common/export_names.h"
#include "trace/trace_writer.h"

namespace halvane::tracer {
namespace {

std::atomic<ForwardingTracer*> installed{nullptr};
constexpr int kSetEventCallback = *controllerExportIndex("PCAN_SetEventCallback");

}  // namespace

void ForwardingTracer::install(ForwardingTracer* tracer) {
  installed.store(tracer);
}

int ForwardingTracer::setEventCallback(OnlineCallbackFn online, SpareCallbackFn spare,
                                       StatusCallbackFn status) {
  online_.store(online);
  spare_.store(spare);
  status_.store(status);
  return forward<kSetEventCallback, PCAN_SetEventCallback_fn>(
      online == nullptr ? nullptr : &ForwardingTracer::onlineHook,
      spare == nullptr ? nullptr : &ForwardingTracer::spareHook,
      status == nullptr ? nullptr : &ForwardingTracer::statusHook);
}

void ForwardingTracer::write(const trace::Record& record) {
  ring_.text(clock_.threadId(), clock_.nowTicks(), trace::formatBody(record));
}

void ForwardingTracer::crash(uint32_t code, uint64_t address) {
  ring_.crash(clock_.threadId(), clock_.nowTicks(), {address, code});
}

void ForwardingTracer::traceCallback(const trace::CallbackBody& callback) {
  ring_.callback(clock_.threadId(), clock_.nowTicks(), callback);
}

int HALVANE_STDCALL ForwardingTracer::onlineHook(int node, int state) {
  ForwardingTracer* self = installed.load();
  if (self == nullptr) {
    return 0;
  }
  self->traceCallback({trace::CallbackId::Online, {}, 0, {node, state, 0}});
  const OnlineCallbackFn fn = self->online_.load();
  return fn == nullptr ? 0 : fn(node, state);
}

int HALVANE_STDCALL ForwardingTracer::spareHook(int value) {
  ForwardingTracer* self = installed.load();
  if (self == nullptr) {
    return 0;
  }
  self->traceCallback({trace::CallbackId::Spare, {}, 0, {value, 0, 0}});
  const SpareCallbackFn fn = self->spare_.load();
  return fn == nullptr ? 0 : fn(value);
}

int HALVANE_STDCALL ForwardingTracer::statusHook(int node, int kind, unsigned char* status,
                                                 int value) {
  ForwardingTracer* self = installed.load();
  if (self == nullptr) {
    return 0;
  }
  // Only the two status bytes the library guarantees are read.
  trace::CallbackBody callback{trace::CallbackId::Status, {}, 0, {node, kind, value}};
  if (status == nullptr) {
    callback.statusNull = 1;
  } else {
    callback.statusBytes[0] = status[0];
    callback.statusBytes[1] = status[1];
  }
  self->traceCallback(callback);
  const StatusCallbackFn fn = self->status_.load();
  return fn == nullptr ? 0 : fn(node, kind, status, value);
}

}  // namespace halvane::tracer
