/// The worker pool of the Lehman method.
#include "primesearch/lehman_workers.h"

#include <utility>

#include "bigint/power_batch.h"
#include "primesearch/progress_clock.h"

struct LehmanWorkers::Entry {
  explicit Entry(std::unique_ptr<const LehmanCandidate> c) : candidate(std::move(c)) {}

  std::unique_ptr<const LehmanCandidate> candidate;
  uint32_t minTogether = 0;  // LehmanCandidate::MinTogether
  bool done[kLehmanBaseCount] = {};
  LehmanResult results[kLehmanBaseCount] = {};
  uint32_t running = 0;  // tasks on workers; the entry lives while any runs
};

// The observer of the exponentiations of one or more tasks run side by side:
// it writes progress lines by the rule of ProgressClock, counted from the
// tasks' start, only for the task the trace waits for, if it is one of them,
// and stops the work once the trace needs none of them or nobody can read the
// trace any more. Side by side, every task's checkpoints come with the same
// bit counts, so any of them may be the one heard.
class LehmanWorkers::Progress : public PowModObserver {
 public:
  Progress(LehmanWorkers& workers, const std::vector<Task>& tasks)
      : workers_(workers), tasks_(tasks) {
    clocks_.reserve(tasks.size());
    for (size_t k = 0; k < tasks.size(); ++k) clocks_.emplace_back(workers.sink_);
  }

  bool Checkpoint(int32_t bitsRemaining) override {
    const std::lock_guard<std::mutex> lock(workers_.mutex_);
    if (workers_.stopping_ || workers_.sink_.Failed() || !AnyNeeded()) return false;
    if (!workers_.awaiting_) return true;
    for (size_t k = 0; k < tasks_.size(); ++k) {
      if (tasks_[k] == workers_.awaited_) return clocks_[k].Checkpoint(bitsRemaining);
    }
    return true;
  }

 private:
  bool AnyNeeded() const {
    for (const Task& task : tasks_) {
      if (task.first >= workers_.released_) return true;
    }
    return false;
  }

  LehmanWorkers& workers_;
  const std::vector<Task>& tasks_;
  std::vector<ProgressClock> clocks_;
};

LehmanWorkers::LehmanWorkers(uint32_t workerCount, TraceSink& sink, bool batches,
                             uint64_t* exponentiations)
    : sink_(sink), batches_(batches), exponentiations_(exponentiations) {
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
  // One answer serves every candidate of a bit length.
  const int64_t bits = candidate->N().HighestBit();
  if (batches_ && bits != togetherBits_) {
    togetherBits_ = bits;
    minTogether_ = candidate->MinTogether();
  }
  auto entry = std::make_unique<Entry>(std::move(candidate));
  entry->minTogether = minTogether_;
  const std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t ticket = nextTicket_++;
  entries_.emplace(ticket, std::move(entry));
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
    const std::vector<Task> tasks = TakeTasks();
    lock.unlock();
    const std::vector<LehmanResult> results = Run(tasks);
    lock.lock();
    for (const Task& task : tasks) --entries_.at(task.first)->running;
    for (size_t k = 0; k < tasks.size(); ++k) Finish(tasks[k], results[k]);
  }
}

// Takes the earliest queued task and, when it is a first base that pays to run
// side by side with others, the further queued first bases of candidates of
// its bit length that need an exponentiation, up to a batch; fewer than pay
// stay queued. Called with the lock held.
std::vector<LehmanWorkers::Task> LehmanWorkers::TakeTasks() {
  std::vector<Task> tasks{*queue_.begin()};
  queue_.erase(queue_.begin());
  const Entry& lead = *entries_.at(tasks[0].first);
  const bool exponentiation = !lead.candidate->SettledByFactor(tasks[0].second);
  if (tasks[0].second == 0 && exponentiation && lead.minTogether != 0) {
    std::vector<std::set<Task>::iterator> others;
    for (auto it = queue_.begin(); it != queue_.end() && others.size() + 1 < kPowerBatchSize;
         ++it) {
      const LehmanCandidate& candidate = *entries_.at(it->first)->candidate;
      if (it->second == 0 && !candidate.SettledByFactor(0) &&
          candidate.N().HighestBit() == lead.candidate->N().HighestBit()) {
        others.push_back(it);
      }
    }
    if (others.size() + 1 >= lead.minTogether) {
      for (const auto& it : others) {
        tasks.push_back(*it);
        queue_.erase(it);
      }
    }
  }
  for (const Task& task : tasks) ++entries_.at(task.first)->running;
  if (exponentiations_ != nullptr && exponentiation) *exponentiations_ += tasks.size();
  return tasks;
}

// The tasks' results: one task alone, several side by side. The entries stay
// while their tasks run, so their candidates may be read without the lock.
std::vector<LehmanResult> LehmanWorkers::Run(const std::vector<Task>& tasks) {
  std::vector<const LehmanCandidate*> candidates;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const Task& task : tasks) candidates.push_back(entries_.at(task.first)->candidate.get());
  }
  Progress progress(*this, tasks);
  if (tasks.size() == 1) return {candidates[0]->Result(tasks[0].second, &progress)};
  return LehmanCandidate::ResultsTogether(candidates, 0, &progress);
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
