/// Lehman results of upcoming candidates, computed ahead of the trace on a pool
/// of worker threads and handed to the trace in candidate order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "primesearch/lehman.h"
#include "primesearch/trace_sink.h"

/// The trace thread submits candidates in the order the trace will reach them
/// and then asks for their results base by base. Workers take the earliest
/// pending work first: base 0 of each candidate, and once base 0 passes, the
/// other six bases at once. With batches, a worker that takes a first base
/// takes with it the further queued first bases of candidates of the same bit
/// length, up to kPowerBatchSize, and runs them side by side where there are
/// enough for that to pay. While the trace waits for a result, the
/// exponentiation computing it, and only that one, writes its progress lines,
/// by the rule of ProgressClock counted from its own start (side by side, the
/// lanes pass their checkpoints together). The destructor abandons the work
/// still running and joins the workers.
class LehmanWorkers {
 public:
  /// exponentiations: where given, counts every exponentiation begun.
  LehmanWorkers(uint32_t workerCount, TraceSink& sink, bool batches,
                uint64_t* exponentiations = nullptr);
  ~LehmanWorkers();
  LehmanWorkers(const LehmanWorkers&) = delete;
  LehmanWorkers& operator=(const LehmanWorkers&) = delete;

  /// Queues the next candidate; returns its ticket, 0, 1, 2, ... in order.
  uint64_t Submit(std::unique_ptr<const LehmanCandidate> candidate);
  /// Candidates submitted and not yet released.
  uint64_t Outstanding() const;
  /// Whether first bases of candidates of the last one's size run side by side.
  bool Batching() const { return minTogether_ != 0; }
  /// Waits for base i's result of the candidate with this ticket. The sink must
  /// not be written by the caller while this runs.
  LehmanResult Await(uint64_t ticket, uint32_t i);
  /// The trace is done with this candidate and every earlier one: their work,
  /// if any is left, is dropped.
  void Release(uint64_t ticket);

 private:
  using Task = std::pair<uint64_t, uint32_t>;  // ticket, base
  struct Entry;
  class Progress;

  void Work();
  std::vector<Task> TakeTasks();
  std::vector<LehmanResult> Run(const std::vector<Task>& tasks);
  void Finish(const Task& task, LehmanResult result);
  void DropReleasedWork();

  TraceSink& sink_;
  const bool batches_;
  // Read and written by the trace thread alone, in Submit.
  int64_t togetherBits_ = -1;  // the bit length minTogether_ is for
  uint32_t minTogether_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable workAvailable_;
  std::condition_variable resultReady_;
  std::map<uint64_t, std::unique_ptr<Entry>> entries_;
  std::set<Task> queue_;  // ordered: earliest work first
  uint64_t nextTicket_ = 0;
  uint64_t released_ = 0;  // tickets below this are released
  // The result the trace waits for, when it waits.
  bool awaiting_ = false;
  Task awaited_;
  bool stopping_ = false;
  uint64_t* exponentiations_;
  std::vector<std::thread> workers_;
};
