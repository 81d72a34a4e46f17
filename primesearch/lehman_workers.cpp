/// The worker pool of the Lehman method.
#include "primesearch/lehman_workers.h"

#include <utility>

#include "primesearch/progress_clock.h"

struct LehmanWorkers::Entry {
  explicit Entry(std::unique_ptr<const LehmanCandidate> c) : candidate(std::move(c)) {}

  std::unique_ptr<const LehmanCandidate> candidate;
  bool done[kLehmanBaseCount] = {};
  LehmanResult results[kLehmanBaseCount] = {};
  uint32_t running = 0;  // tasks on workers; the entry lives while any runs
};

// The observer of one task's exponentiation: it writes progress lines by the
// rule of ProgressClock, counted from the task's start, only while the trace
// waits for this very task, and stops the work once the trace no longer needs it
// or nobody can read the trace any more.
class LehmanWorkers::Progress : public PowModObserver {
 public:
  Progress(LehmanWorkers& workers, Task task)
      : workers_(workers), task_(std::move(task)), clock_(workers.sink_) {}

  bool Checkpoint(int32_t bitsRemaining) override {
    const std::lock_guard<std::mutex> lock(workers_.mutex_);
    if (workers_.stopping_ || task_.first < workers_.released_ || workers_.sink_.Failed())
      return false;
    if (!workers_.awaiting_ || workers_.awaited_ != task_) return true;
    return clock_.Checkpoint(bitsRemaining);
  }

 private:
  LehmanWorkers& workers_;
  Task task_;
  ProgressClock clock_;
};

LehmanWorkers::LehmanWorkers(uint32_t workerCount, TraceSink& sink) : sink_(sink) {
  for (uint32_t i = 0; i < workerCount; ++i) workers_.emplace_back([this] { Work(); });
}

LehmanWorkers::~LehmanWorkers() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  workAvailable_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

uint64_t LehmanWorkers::Submit(std::unique_ptr<const LehmanCandidate> candidate) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t ticket = nextTicket_++;
  entries_.emplace(ticket, std::make_unique<Entry>(std::move(candidate)));
  queue_.emplace(ticket, 0);
  workAvailable_.notify_one();
  return ticket;
}

uint64_t LehmanWorkers::Outstanding() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return nextTicket_ - released_;
}

LehmanResult LehmanWorkers::Await(uint64_t ticket, uint32_t i) {
  std::unique_lock<std::mutex> lock(mutex_);
  const Entry& entry = *entries_.at(ticket);
  awaiting_ = true;
  awaited_ = Task(ticket, i);
  resultReady_.wait(lock, [&] { return entry.done[i]; });
  awaiting_ = false;
  return entry.results[i];
}

void LehmanWorkers::Release(uint64_t ticket) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (ticket + 1 > released_) released_ = ticket + 1;
  DropReleasedWork();
}

// Removes the queued tasks and idle entries of released candidates; an entry
// with a running task goes when its last task finishes.
void LehmanWorkers::DropReleasedWork() {
  while (!queue_.empty() && queue_.begin()->first < released_) queue_.erase(queue_.begin());
  for (auto it = entries_.begin(); it != entries_.end() && it->first < released_;) {
    it = it->second->running == 0 ? entries_.erase(it) : std::next(it);
  }
}

void LehmanWorkers::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    workAvailable_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    const Task task = *queue_.begin();
    queue_.erase(queue_.begin());
    Entry& entry = *entries_.at(task.first);
    ++entry.running;
    lock.unlock();
    Progress progress(*this, task);
    const LehmanResult result = entry.candidate->Result(task.second, &progress);
    lock.lock();
    --entry.running;
    Finish(task, result);
  }
}

// Records a result (unless the candidate was released meanwhile, when the result
// may be an abandoned one) and, when base 0 passes, queues the other bases.
void LehmanWorkers::Finish(const Task& task, LehmanResult result) {
  if (task.first < released_) {
    DropReleasedWork();
    return;
  }
  Entry& entry = *entries_.at(task.first);
  entry.done[task.second] = true;
  entry.results[task.second] = result;
  if (task.second == 0 && result != LehmanResult::kComposite) {
    for (uint32_t i = 1; i < kLehmanBaseCount; ++i) queue_.emplace(task.first, i);
    workAvailable_.notify_all();
  }
  resultReady_.notify_all();
}
