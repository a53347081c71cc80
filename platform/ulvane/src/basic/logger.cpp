#include <ulvane/basic/logger.h>
#include <ulvane/basic/progress_logger.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <mutex>

namespace tarnix {
namespace {

struct LoggerState {
  std::mutex mutex;
  Logger::Sink sink;
  std::atomic<Logger::Level> level{Logger::Level::info};
};

LoggerState& logger_state() {
  static LoggerState state;
  return state;
}

thread_local Logger::Sink thread_sink;

char const* level_prefix(Logger::Level level) {
  switch (level) {
    case Logger::Level::debug:
      return "[debug] ";
    case Logger::Level::info:
      return "[info] ";
    case Logger::Level::warn:
      return "[warn] ";
    case Logger::Level::err:
      return "[error] ";
    case Logger::Level::off:
      break;
  }
  return "";
}

struct ProgressState {
  std::mutex mutex;
  ProgressLogger::Observer observer;
  std::atomic<bool> quiet{false};
};

ProgressState& progress_state() {
  static ProgressState state;
  return state;
}

}  // namespace

void Logger::set_level(Level level) { logger_state().level = level; }

Logger::Level Logger::level() { return logger_state().level; }

Logger::Sink Logger::set_sink(Sink sink) {
  auto& state = logger_state();
  std::lock_guard<std::mutex> lock(state.mutex);
  std::swap(state.sink, sink);
  return sink;
}

Logger::Sink Logger::set_thread_sink(Sink sink) {
  std::swap(thread_sink, sink);
  return sink;
}

void Logger::log(Level level, absl::string_view message) {
  auto& state = logger_state();
  if (level < state.level.load() || level == Level::off) return;
  if (thread_sink) {
    thread_sink(level, message);
    return;
  }
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.sink) {
    state.sink(level, message);
    return;
  }
  std::clog << level_prefix(level) << message << '\n';
}

ProgressLogger::ProgressLogger(absl::string_view title, index_t nb_steps)
    : title_(title),
      nb_steps_(nb_steps),
      start_(std::chrono::steady_clock::now()),
      last_draw_(start_) {
  notify(Event::Kind::start);
  if (progress_state().quiet) return;
  if (isatty(STDERR_FILENO)) {
    draw(false);
  } else {
    std::fprintf(stderr, "%s: started (%u steps)\n", title_.c_str(), nb_steps_);
  }
}

ProgressLogger::~ProgressLogger() {
  notify(Event::Kind::end);
  if (progress_state().quiet) return;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  if (isatty(STDERR_FILENO)) {
    draw(true);
    std::fprintf(stderr, "\n");
  } else {
    std::fprintf(stderr, "%s: done %u/%u in %.3f s\n", title_.c_str(), current_,
                 nb_steps_, seconds);
  }
}

void ProgressLogger::increment() {
  ++current_;
  notify(Event::Kind::increment);
  if (progress_state().quiet || !isatty(STDERR_FILENO)) return;
  const auto now = std::chrono::steady_clock::now();
  // Redrawing on every step would dominate short tasks: at most 10 per second.
  if (now - last_draw_ > std::chrono::milliseconds(100) || current_ == nb_steps_) {
    draw(false);
  }
}

void ProgressLogger::increment_nb_steps() { ++nb_steps_; }

ProgressLogger::Observer ProgressLogger::set_observer(Observer observer) {
  auto& state = progress_state();
  std::lock_guard<std::mutex> lock(state.mutex);
  std::swap(state.observer, observer);
  return observer;
}

void ProgressLogger::set_quiet(bool quiet) { progress_state().quiet = quiet; }

void ProgressLogger::notify(Event::Kind kind) const {
  auto& state = progress_state();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.observer) state.observer(Event{kind, title_, current_, nb_steps_});
}

void ProgressLogger::draw(bool final) const {
  last_draw_ = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(last_draw_ - start_).count();
  const double ratio =
      nb_steps_ == 0 ? 1.0 : std::min(1.0, static_cast<double>(current_) / nb_steps_);
  constexpr int width = 30;
  const int filled = static_cast<int>(ratio * width);
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(width - filled), '.');
  std::fprintf(stderr, "\r%s [%s] %u/%u %3.0f%% %.1fs%s", title_.c_str(), bar.c_str(),
               current_, nb_steps_, ratio * 100.0, seconds, final ? " done" : "");
  std::fflush(stderr);
}

}  // namespace tarnix
