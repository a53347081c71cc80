#pragma once

#include <chrono>
#include <functional>
#include <string>

#include <absl/strings/string_view.h>

#include <ulvane/basic/common.h>

namespace tarnix {

//! A named task with a number of steps. On a terminal it draws a one-line
//! progress bar on standard error; otherwise it writes a start and an end
//! line. The destructor ends the task.
class ProgressLogger {
 public:
  //! What an observer is told: the task's title and its counters.
  struct Event {
    enum class Kind { start, increment, end } kind;
    absl::string_view title;
    index_t current;
    index_t nb_steps;
  };
  using Observer = std::function<void(Event const&)>;

  ProgressLogger(absl::string_view title, index_t nb_steps);
  ~ProgressLogger();
  ProgressLogger(ProgressLogger const&) = delete;
  ProgressLogger& operator=(ProgressLogger const&) = delete;

  //! One more step done.
  void increment();
  //! One more step to do.
  void increment_nb_steps();

  index_t current() const { return current_; }
  index_t nb_steps() const { return nb_steps_; }
  absl::string_view title() const { return title_; }

  //! Installs a process-wide observer of every task (tests read the
  //! counters through it). \return the previous observer.
  static Observer set_observer(Observer observer);
  //! Silences the drawing (the observer is still called).
  static void set_quiet(bool quiet);

 private:
  void notify(Event::Kind kind) const;
  void draw(bool final) const;

  std::string title_;
  index_t nb_steps_;
  index_t current_{0};
  std::chrono::steady_clock::time_point start_;
  mutable std::chrono::steady_clock::time_point last_draw_;
};

}  // namespace tarnix
