// A scriptable stand-in for the vendor library, reached through the same LibraryLoader seam as the
// real one. Its exports are real functions with the export table's signatures (stdcall on Windows),
// so the binding is exercised for real. One instance at a time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/controller_exports.h"
#include "controller/library_loader.h"

namespace halvane::testing {

class FakeControllerLibrary final : public LibraryLoader {
 public:
  // A call's arguments: plain values, and for int* parameters the out-value pointer.
  struct Arguments {
    std::vector<int> values;  // out-value parameters hold 0 here
    int* out = nullptr;
    int node() const { return values.empty() ? 0 : values[0]; }
  };
  using Handler = std::function<int(const Arguments&)>;

  FakeControllerLibrary();
  ~FakeControllerLibrary() override;
  static FakeControllerLibrary& current();

  // Scripting.
  void setLoadable(bool loadable);
  void removeExport(const std::string& name);
  void setResult(const std::string& name, int result);           // every call of the export
  void failOccurrence(const std::string& name, int occurrence);  // only its n-th call, from 1
  void setOutValue(const std::string& name, int node, int value);
  // Replaces the default behaviour (result and out-value) of an export; runs without the lock held.
  // An empty handler brings the default back.
  void setHandler(const std::string& name, Handler handler);  // failOccurrence still wins

  // Observation. Calls read like "PCAN_SetAccel(1, 5)"; out-value arguments show as "&".
  int loadAttempts() const;
  std::vector<std::string> calls() const;
  std::vector<std::string> callsNamed(const std::string& name) const;
  void clearCalls();
  // Waits until `count` calls of `name` have been made; false when that takes longer than
  // `timeout`.
  bool waitForCalls(const std::string& name, size_t count, std::chrono::milliseconds timeout) const;

  // The callbacks the program registered, fired on the calling thread or on a thread of their own.
  bool hasCallbacks() const;
  void fireOnline(int node, int state);
  void fireStatus(int node, int kind, unsigned char secondByte);
  void fireStatusFromThread(int node, int kind, unsigned char secondByte);
  void fireOnlineFromThread(int node, int state);
  // Waits for every callback thread started so far.
  void joinCallbackThreads();

  // LibraryLoader
  void* load(const char* fileName) override;
  GenericFn find(void* library, const char* exportName) override;

  // Entry of every fake export.
  int dispatch(const char* name, const Arguments& arguments, const std::string& shown);

 private:
  void runOnThread(std::function<void()> work);

  mutable std::mutex mutex_;
  mutable std::condition_variable called_;
  bool loadable_ = true;
  int loadAttempts_ = 0;
  std::set<std::string> removed_;
  std::map<std::string, int> results_;
  std::map<std::string, std::set<int>> failingOccurrences_;
  std::map<std::string, int> callCounts_;
  std::map<std::pair<std::string, int>, int> outValues_;
  std::map<std::string, Handler> handlers_;
  std::vector<std::string> calls_;
  std::vector<std::thread> threads_;
};

}  // namespace halvane::testing
