#pragma once

#include <functional>
#include <string>

#include <absl/strings/str_cat.h>
#include <absl/strings/string_view.h>

namespace tarnix {

//! Information output of the libraries. Lines go to a sink: by default
//! standard error, filtered by a level; tests install their own sink.
class Logger {
 public:
  enum class Level { debug = 0, info = 1, warn = 2, err = 3, off = 4 };
  using Sink = std::function<void(Level, absl::string_view)>;

  template <typename... Args>
  static void log_debug(Args const&... args) {
    log(Level::debug, absl::StrCat(args...));
  }
  template <typename... Args>
  static void log_info(Args const&... args) {
    log(Level::info, absl::StrCat(args...));
  }
  template <typename... Args>
  static void log_warn(Args const&... args) {
    log(Level::warn, absl::StrCat(args...));
  }
  template <typename... Args>
  static void log_error(Args const&... args) {
    log(Level::err, absl::StrCat(args...));
  }

  //! Lines below this level are dropped before they reach the sink.
  static void set_level(Level level);
  static Level level();
  //! Replaces the sink; an empty function restores the default one.
  //! \return the previous sink (empty when it was the default).
  static Sink set_sink(Sink sink);
  //! Replaces the sink of the calling thread only: the lines this thread
  //! logs go there instead of the process sink, after the level filter (a
  //! worker holds its lines so that they can be logged in order later). An
  //! empty function restores the process sink for the thread.
  //! \return the thread's previous sink.
  static Sink set_thread_sink(Sink sink);

  static void log(Level level, absl::string_view message);
};

}  // namespace tarnix
