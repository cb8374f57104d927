#include "tests/support/fake_controller_library.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

namespace halvane::testing {
namespace {

std::atomic<FakeControllerLibrary*> currentLibrary{nullptr};
int libraryToken;  // the handle the fake hands out

struct Recorder {
  FakeControllerLibrary::Arguments arguments;
  std::string shown;
  GenericFn callbacks[3] = {};
  int callbackCount = 0;

  void add(int value) {
    arguments.values.push_back(value);
    separate();
    shown += std::to_string(value);
  }
  void add(int* out) {
    arguments.values.push_back(0);
    arguments.out = out;
    separate();
    shown += "&";
  }
  template <typename Fn>
  requires std::is_function_v<std::remove_pointer_t<Fn>>
  void add(Fn fn) {
    arguments.values.push_back(0);
    callbacks[callbackCount++] = reinterpret_cast<GenericFn>(fn);
    separate();
    shown += "fn";
  }
  void separate() {
    if (!arguments.values.empty() && arguments.values.size() > 1) {
      shown += ", ";
    }
  }
};

template <typename... A>
Recorder record(A... args) {
  Recorder recorder;
  (recorder.add(args), ...);
  return recorder;
}

#define HALVANE_FAKE_EXPORT(name, params, args)                                         \
  int HALVANE_STDCALL fake_##name params {                                              \
    Recorder recorder = record args;                                                    \
    return FakeControllerLibrary::current().dispatch(#name, recorder.arguments,         \
                                                     #name "(" + recorder.shown + ")"); \
  }
HALVANE_CONTROLLER_EXPORTS(HALVANE_FAKE_EXPORT)
#undef HALVANE_FAKE_EXPORT

// PCAN_SetEventCallback keeps its pointers; the generic recorder only shows them.
OnlineCallbackFn registeredOnline;
SpareCallbackFn registeredSpare;
StatusCallbackFn registeredStatus;

int HALVANE_STDCALL fakeSetEventCallback(OnlineCallbackFn online, SpareCallbackFn spare,
                                         StatusCallbackFn status) {
  registeredOnline = online;
  registeredSpare = spare;
  registeredStatus = status;
  return fake_PCAN_SetEventCallback(online, spare, status);
}

GenericFn exportByName(const std::string& name) {
  if (name == "PCAN_SetEventCallback") {
    return reinterpret_cast<GenericFn>(&fakeSetEventCallback);
  }
#define HALVANE_FAKE_LOOKUP(export_name, params, args)       \
  if (name == #export_name) {                                \
    return reinterpret_cast<GenericFn>(&fake_##export_name); \
  }
  HALVANE_CONTROLLER_EXPORTS(HALVANE_FAKE_LOOKUP)
#undef HALVANE_FAKE_LOOKUP
  return nullptr;
}

}  // namespace

FakeControllerLibrary::FakeControllerLibrary() {
  FakeControllerLibrary* expected = nullptr;
  if (!currentLibrary.compare_exchange_strong(expected, this)) {
    std::fputs("FakeControllerLibrary: only one instance at a time\n", stderr);
    std::abort();
  }
}

FakeControllerLibrary::~FakeControllerLibrary() {
  joinCallbackThreads();
  registeredOnline = nullptr;
  registeredSpare = nullptr;
  registeredStatus = nullptr;
  currentLibrary.store(nullptr);
}

FakeControllerLibrary& FakeControllerLibrary::current() {
  return *currentLibrary.load();
}

void FakeControllerLibrary::setLoadable(bool loadable) {
  std::lock_guard lock(mutex_);
  loadable_ = loadable;
}

void FakeControllerLibrary::removeExport(const std::string& name) {
  std::lock_guard lock(mutex_);
  removed_.insert(name);
}

void FakeControllerLibrary::setResult(const std::string& name, int result) {
  std::lock_guard lock(mutex_);
  results_[name] = result;
}

void FakeControllerLibrary::failOccurrence(const std::string& name, int occurrence) {
  std::lock_guard lock(mutex_);
  failingOccurrences_[name].insert(occurrence);
}

void FakeControllerLibrary::setOutValue(const std::string& name, int node, int value) {
  std::lock_guard lock(mutex_);
  outValues_[{name, node}] = value;
}

void FakeControllerLibrary::setHandler(const std::string& name, Handler handler) {
  std::lock_guard lock(mutex_);
  if (handler) {
    handlers_[name] = std::move(handler);
  } else {
    handlers_.erase(name);
  }
}

int FakeControllerLibrary::loadAttempts() const {
  std::lock_guard lock(mutex_);
  return loadAttempts_;
}

std::vector<std::string> FakeControllerLibrary::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> FakeControllerLibrary::callsNamed(const std::string& name) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> named;
  for (const std::string& call : calls_) {
    if (call.compare(0, name.size() + 1, name + "(") == 0) {
      named.push_back(call);
    }
  }
  return named;
}

void FakeControllerLibrary::clearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

bool FakeControllerLibrary::waitForCalls(const std::string& name, size_t count,
                                         std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return called_.wait_for(lock, timeout, [&] {
    const auto it = callCounts_.find(name);
    return it != callCounts_.end() && static_cast<size_t>(it->second) >= count;
  });
}

bool FakeControllerLibrary::hasCallbacks() const {
  return registeredStatus != nullptr;
}

void FakeControllerLibrary::fireOnline(int node, int state) {
  registeredOnline(node, state);
}

void FakeControllerLibrary::fireStatus(int node, int kind, unsigned char secondByte) {
  unsigned char bytes[4] = {0, secondByte, 0, 0};
  registeredStatus(node, kind, bytes, 0);
}

void FakeControllerLibrary::fireStatusFromThread(int node, int kind, unsigned char secondByte) {
  runOnThread([this, node, kind, secondByte] { fireStatus(node, kind, secondByte); });
}

void FakeControllerLibrary::fireOnlineFromThread(int node, int state) {
  runOnThread([this, node, state] { fireOnline(node, state); });
}

void FakeControllerLibrary::joinCallbackThreads() {
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(mutex_);
    threads.swap(threads_);
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
}

void FakeControllerLibrary::runOnThread(std::function<void()> work) {
  std::lock_guard lock(mutex_);
  threads_.emplace_back(std::move(work));
}

void* FakeControllerLibrary::load(const char* fileName) {
  std::lock_guard lock(mutex_);
  ++loadAttempts_;
  const bool right = std::string(fileName) == kControllerLibraryName;
  return loadable_ && right ? &libraryToken : nullptr;
}

GenericFn FakeControllerLibrary::find(void* library, const char* exportName) {
  std::lock_guard lock(mutex_);
  if (library != &libraryToken || removed_.count(exportName) != 0) {
    return nullptr;
  }
  return exportByName(exportName);
}

int FakeControllerLibrary::dispatch(const char* name, const Arguments& arguments,
                                    const std::string& shown) {
  Handler handler;
  int result = 0;
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(shown);
    const int occurrence = ++callCounts_[name];
    const auto failing = failingOccurrences_.find(name);
    if (failing != failingOccurrences_.end() && failing->second.count(occurrence) != 0) {
      result = 1;  // a scripted failure wins over any handler
    } else if (const auto found = handlers_.find(name); found != handlers_.end()) {
      handler = found->second;
    } else {
      if (const auto it = results_.find(name); it != results_.end()) {
        result = it->second;
      }
      if (const auto it = outValues_.find({name, arguments.node()});
          it != outValues_.end() && arguments.out != nullptr) {
        *arguments.out = it->second;
      }
    }
  }
  called_.notify_all();
  return handler ? handler(arguments) : result;
}

}  // namespace halvane::testing
