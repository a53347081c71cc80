#include <ulvane/basic.h>

#include <set>
#include <string>
#include <vector>

#include <absl/container/flat_hash_set.h>
#include <gtest/gtest.h>

namespace tarnix {
namespace {

TEST(Uuid, UniqueHashableAndRoundTripsThroughText) {
  absl::flat_hash_set<uuid> ids;
  for (int i = 0; i < 1000; ++i) ids.insert(uuid{});
  EXPECT_EQ(ids.size(), 1000u);

  const uuid id;
  const std::string text = id.string();
  ASSERT_EQ(text.size(), 36u);
  EXPECT_EQ(text[8], '-');
  EXPECT_EQ(text[14], '4');  // version 4
  EXPECT_EQ(uuid{text}, id);
  EXPECT_EQ(uuid{text}.string(), text);
  EXPECT_THROW(uuid{"not-a-uuid"}, UlvaneException);
  EXPECT_THROW(uuid{text.substr(1) + "0"}, UlvaneException);
}

TEST(Uuid, SeededGeneratorIsReproducible) {
  uuid::seed_generator(7);
  const uuid a;
  uuid::seed_generator(7);
  const uuid b;
  EXPECT_EQ(a, b);
  uuid::seed_generator(8);
  EXPECT_NE(uuid{}, a);
}

TEST(UlvaneException, JoinsItsTwoTexts) {
  const UlvaneException joined("Cannot create mesh builder with key: ", "Unknown2D");
  EXPECT_STREQ(joined.what(), "Cannot create mesh builder with key: Unknown2D");
  try {
    throw UlvaneException("[surface_remeshing] All surfaces should be TriangulatedSurfaces");
  } catch (std::runtime_error const& error) {
    EXPECT_STREQ(error.what(), "[surface_remeshing] All surfaces should be TriangulatedSurfaces");
  }
}

TEST(CheckedAt, OutOfRangeMessage) {
  std::vector<int> values(3);
  EXPECT_NO_THROW(detail::checked_at(values, 2));
  try {
    detail::checked_at(values, 3);
    FAIL();
  } catch (std::out_of_range const& error) {
    EXPECT_STREQ(error.what(), "invalid vector subscript");
  }
}

TEST(Logger, SinkReceivesLinesAtOrAboveTheLevel) {
  std::vector<std::pair<Logger::Level, std::string>> lines;
  auto previous = Logger::set_sink(
      [&](Logger::Level level, absl::string_view text) { lines.emplace_back(level, text); });
  Logger::set_level(Logger::Level::info);
  Logger::log_debug("hidden");
  Logger::log_info("surface ", "Surface", " ", 42);
  Logger::log_error("bad");
  Logger::set_sink(previous);

  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].first, Logger::Level::info);
  EXPECT_EQ(lines[0].second, "surface Surface 42");
  EXPECT_EQ(lines[1].first, Logger::Level::err);
}

TEST(ProgressLogger, ObserverSeesEveryCounter) {
  ProgressLogger::set_quiet(true);
  std::vector<ProgressLogger::Event> events;
  std::vector<std::string> titles;
  auto previous = ProgressLogger::set_observer([&](ProgressLogger::Event const& event) {
    events.push_back(event);
    titles.emplace_back(event.title);
  });
  {
    ProgressLogger progress("Repairing surface intersections", 2);
    progress.increment();
    progress.increment_nb_steps();
    progress.increment();
    progress.increment();
    EXPECT_EQ(progress.current(), 3u);
    EXPECT_EQ(progress.nb_steps(), 3u);
  }
  ProgressLogger::set_observer(previous);
  ProgressLogger::set_quiet(false);

  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events.front().kind, ProgressLogger::Event::Kind::start);
  EXPECT_EQ(events.back().kind, ProgressLogger::Event::Kind::end);
  EXPECT_EQ(events.back().current, 3u);
  EXPECT_EQ(events.back().nb_steps, 3u);
  EXPECT_EQ(titles.back(), "Repairing surface intersections");
}

}  // namespace
}  // namespace tarnix
