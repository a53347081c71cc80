#pragma once

// A small pool of worker threads that produces the results of a list of
// tasks side by side and hands them to the calling thread in task order.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <absl/types/optional.h>

#include <ulvane/basic/common.h>
#include <ulvane/basic/logger.h>

namespace tarnix {
namespace detail {

//! The number of workers a step uses: the value of `variable` in the
//! environment when it is a positive whole number, otherwise the hardware
//! concurrency (at least 1). A value that is set but not a positive whole
//! number is ignored with a warning naming `step`.
inline unsigned int configured_worker_count(char const* variable, absl::string_view step) {
  unsigned int const hardware = std::max(1U, std::thread::hardware_concurrency());
  char const* text = std::getenv(variable);
  if (text == nullptr || *text == '\0') return hardware;
  char* end = nullptr;
  errno = 0;
  unsigned long const value = std::strtoul(text, &end, 10);
  bool const whole = std::isdigit(static_cast<unsigned char>(text[0])) != 0 && *end == '\0' &&
                     errno == 0 && value > 0 && value <= 0xFFFFFFFFUL;
  if (!whole) {
    Logger::log_warn("[", step, "] Ignoring ", variable, "=\"", text,
                     "\": not a positive whole number; using ", hardware, " workers");
    return hardware;
  }
  return static_cast<unsigned int>(value);
}

//! Runs `produce(i)` for every task i in [0, n) on worker threads and gives
//! the results back with `next()` on the calling thread, in task order.
//!
//! - With fewer than two workers, or fewer than two tasks, nothing runs in
//!   the background: each `next()` produces its task on the calling thread.
//! - The lines a task logs on a worker are held, and logged on the calling
//!   thread by the `next()` that returns its result, so that the log reads
//!   as in a run on one thread.
//! - An exception thrown by `produce(i)` is rethrown by the `next()` for i,
//!   after the results before it have been handed out; from then on no
//!   task after i starts.
//! - At most two results per worker wait ahead of the calling thread, so
//!   that memory stays bounded when producing is faster than consuming.
//! - Destroying the pool (after the last result, or on the way out of an
//!   exception) lets the running tasks end, starts no other, and joins the
//!   workers.
template <typename Result>
class OrderedWorkerPool {
 public:
  OrderedWorkerPool(index_t nb_tasks, unsigned int nb_workers,
                    std::function<Result(index_t)> produce)
      : produce_(std::move(produce)),
        slots_(nb_tasks),
        end_(nb_tasks),
        window_(2 * std::max(1U, nb_workers)) {
    if (nb_workers < 2 || nb_tasks < 2) return;
    auto const count = std::min<index_t>(nb_workers, nb_tasks);
    try {
      for (index_t w = 0; w < count; ++w) workers_.emplace_back([this] { work(); });
    } catch (...) {
      // Fewer threads than asked (the system refused one): those started
      // do the work; without any, the calling thread does it.
    }
  }

  ~OrderedWorkerPool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    claimable_.notify_all();
    for (auto& worker : workers_) worker.join();
  }

  OrderedWorkerPool(OrderedWorkerPool const&) = delete;
  OrderedWorkerPool& operator=(OrderedWorkerPool const&) = delete;

  //! The result of the next task in order, waiting for it when needed.
  //! \throw what that task threw.
  //! \pre fewer calls than tasks so far.
  Result next() {
    index_t const task = next_result_++;
    if (workers_.empty()) return produce_(task);
    Slot slot;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      done_.wait(lock, [&] { return slots_[task].done; });
      slot = std::move(slots_[task]);
      slots_[task] = Slot{};
      consumed_ = next_result_;
    }
    claimable_.notify_all();
    for (auto const& line : slot.lines) Logger::log(line.first, line.second);
    if (slot.error) std::rethrow_exception(slot.error);
    return std::move(*slot.result);
  }

 private:
  struct Slot {
    absl::optional<Result> result;
    std::exception_ptr error;
    std::vector<std::pair<Logger::Level, std::string>> lines;
    bool done{false};
  };

  void work() {
    for (;;) {
      index_t task = NO_ID;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        claimable_.wait(lock, [&] {
          return stopping_ || next_task_ >= end_ || next_task_ < consumed_ + window_;
        });
        if (stopping_ || next_task_ >= end_) return;
        task = next_task_++;
      }
      Slot slot;
      auto const previous = Logger::set_thread_sink(
          [&slot](Logger::Level level, absl::string_view message) {
            slot.lines.emplace_back(level, std::string{message});
          });
      try {
        slot.result.emplace(produce_(task));
      } catch (...) {
        slot.error = std::current_exception();
      }
      Logger::set_thread_sink(previous);
      slot.done = true;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (slot.error) end_ = std::min(end_, task + 1);
        slots_[task] = std::move(slot);
      }
      done_.notify_all();
    }
  }

  std::function<Result(index_t)> produce_;
  std::vector<Slot> slots_;
  //! One past the last task to start: the first failed task ends the list.
  index_t end_;
  index_t const window_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable claimable_;
  std::condition_variable done_;
  //! The next task a worker takes, the number of results handed out, and
  //! the calling thread's count of `next()` calls.
  index_t next_task_{0};
  index_t consumed_{0};
  index_t next_result_{0};
  bool stopping_{false};
};

}  // namespace detail
}  // namespace tarnix
