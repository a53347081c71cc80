#include "driver/worker_pool.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace tarnix {
namespace {

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Later tasks are quicker: on workers they end before the earlier ones.
int delay_of(index_t task, index_t nb_tasks) { return static_cast<int>((nb_tasks - task) % 5); }

// Every line that reaches the process sink, with the thread that logged it.
class LogRecorder {
 public:
  LogRecorder() {
    previous_ = Logger::set_sink([this](Logger::Level, absl::string_view message) {
      lines.emplace_back(std::this_thread::get_id(), std::string{message});
    });
  }
  ~LogRecorder() { Logger::set_sink(previous_); }
  LogRecorder(LogRecorder const&) = delete;
  LogRecorder& operator=(LogRecorder const&) = delete;

  std::vector<std::pair<std::thread::id, std::string>> lines;

 private:
  Logger::Sink previous_;
};

class OrderedWorkerPoolTest : public ::testing::TestWithParam<unsigned int> {};

// Results and their log lines come back on the calling thread in task
// order, interleaved with what the caller logs as a run on one thread
// would have them, whatever order the tasks end in.
TEST_P(OrderedWorkerPoolTest, ResultsAndLinesComeBackInTaskOrder) {
  unsigned int const nb_workers = GetParam();
  index_t const nb_tasks = 24;
  auto const caller = std::this_thread::get_id();
  std::vector<std::thread::id> producers(nb_tasks);
  LogRecorder log;
  {
    detail::OrderedWorkerPool<std::string> pool{nb_tasks, nb_workers, [&](index_t task) {
                                                  producers[task] = std::this_thread::get_id();
                                                  Logger::log_info("task ", task, " starts");
                                                  sleep_ms(delay_of(task, nb_tasks));
                                                  Logger::log_info("task ", task, " ends");
                                                  return "result " + std::to_string(task);
                                                }};
    for (index_t task = 0; task < nb_tasks; ++task) {
      EXPECT_EQ(pool.next(), "result " + std::to_string(task));
      Logger::log_info("consumed ", task);
    }
  }
  ASSERT_EQ(log.lines.size(), 3 * nb_tasks);
  for (index_t task = 0; task < nb_tasks; ++task) {
    auto const n = std::to_string(task);
    EXPECT_EQ(log.lines[3 * task].second, "task " + n + " starts");
    EXPECT_EQ(log.lines[3 * task + 1].second, "task " + n + " ends");
    EXPECT_EQ(log.lines[3 * task + 2].second, "consumed " + n);
  }
  for (auto const& line : log.lines) EXPECT_EQ(line.first, caller) << line.second;
  // One worker is the serial run on the calling thread; with more, the
  // calling thread only hands the results out.
  for (auto const& producer : producers) EXPECT_EQ(producer == caller, nb_workers == 1);
}

// The first failure in task order is raised, after the results before it,
// however soon a later task fails; no task starts after a failure, and
// the tasks still running end before the pool is gone.
TEST_P(OrderedWorkerPoolTest, FirstFailureInTaskOrderIsRaised) {
  unsigned int const nb_workers = GetParam();
  index_t const nb_tasks = 64;
  std::atomic<index_t> started{0};
  std::atomic<index_t> running{0};
  std::vector<int> results;
  std::string raised;
  {
    detail::OrderedWorkerPool<int> pool{nb_tasks, nb_workers, [&](index_t task) {
                                          ++started;
                                          ++running;
                                          if (task == 9) {
                                            --running;
                                            throw std::invalid_argument("task 9");
                                          }
                                          sleep_ms(task == 5 ? 20 : 2);
                                          --running;
                                          if (task == 5) throw std::out_of_range("task 5");
                                          return static_cast<int>(task);
                                        }};
    try {
      for (index_t task = 0; task < nb_tasks; ++task) results.push_back(pool.next());
    } catch (std::out_of_range const& e) {
      raised = e.what();
    }
  }
  EXPECT_EQ(raised, "task 5");
  EXPECT_EQ(results, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(running.load(), 0u);
  // Started: the tasks up to the failure and those in flight then, at
  // most two results per worker ahead of the caller.
  EXPECT_LE(started.load(), 6 + 2 * nb_workers);
}

// A caller that leaves before the last result (its own failure) stops the
// workers: the pool's end waits for the running tasks and starts no other.
TEST_P(OrderedWorkerPoolTest, CallerLeavingEarlyStopsTheWork) {
  unsigned int const nb_workers = GetParam();
  index_t const nb_tasks = 200;
  std::atomic<index_t> started{0};
  std::atomic<index_t> ended{0};
  {
    detail::OrderedWorkerPool<index_t> pool{nb_tasks, nb_workers, [&](index_t task) {
                                              ++started;
                                              sleep_ms(1);
                                              ++ended;
                                              return task;
                                            }};
    EXPECT_EQ(pool.next(), 0u);
    EXPECT_EQ(pool.next(), 1u);
  }
  EXPECT_EQ(started.load(), ended.load());
  EXPECT_LE(started.load(), 2 + 2 * nb_workers);
}

INSTANTIATE_TEST_SUITE_P(Workers, OrderedWorkerPoolTest, ::testing::Values(1u, 2u, 8u));

struct CountCase {
  char const* value;  // nullptr: unset
  unsigned int expected;  // 0: the hardware concurrency
  bool warned;
};

void PrintTo(CountCase const& c, std::ostream* os) { *os << (c.value ? c.value : "unset"); }

class ConfiguredWorkerCountTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(ConfiguredWorkerCountTest, ReadsThePositiveWholeNumbersOnly) {
  auto const& c = GetParam();
  char const* variable = "TARNIX_TEST_WORKERS";
  if (c.value == nullptr) {
    unsetenv(variable);
  } else {
    setenv(variable, c.value, 1);
  }
  LogRecorder log;
  auto const count = detail::configured_worker_count(variable, "step");
  unsetenv(variable);
  unsigned int const hardware = std::max(1U, std::thread::hardware_concurrency());
  EXPECT_EQ(count, c.expected == 0 ? hardware : c.expected);
  if (!c.warned) {
    EXPECT_TRUE(log.lines.empty());
    return;
  }
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0].second, std::string{"[step] Ignoring TARNIX_TEST_WORKERS=\""} + c.value +
                                     "\": not a positive whole number; using " +
                                     std::to_string(hardware) + " workers");
}

INSTANTIATE_TEST_SUITE_P(Values, ConfiguredWorkerCountTest,
                         ::testing::Values(CountCase{nullptr, 0, false}, CountCase{"", 0, false},
                                           CountCase{"1", 1, false}, CountCase{"3", 3, false},
                                           CountCase{"64", 64, false}, CountCase{"0", 0, true},
                                           CountCase{"-2", 0, true}, CountCase{"+2", 0, true},
                                           CountCase{" 2", 0, true}, CountCase{"2x", 0, true},
                                           CountCase{"two", 0, true},
                                           CountCase{"99999999999999999999", 0, true}));

}  // namespace
}  // namespace tarnix
