#include <ulvane/mesh/triangulated_surface_io.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <absl/strings/numbers.h>
#include <absl/strings/str_cat.h>
#include <absl/strings/str_split.h>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/triangulated_surface_builder.h>

namespace tarnix {
namespace {

constexpr char const* MAGIC = "ULVANE_TRIANGULATED_SURFACE";
constexpr char const* VERSION = "1";

//! The text of a file, written into a buffer sized once from a bound on
//! its length: each number is formatted in place.
class TextBuffer {
 public:
  explicit TextBuffer(std::size_t bound) : buffer_(new char[bound]), at_(buffer_.get()),
                                           end_(buffer_.get() + bound) {}

  void put(char c) { *at_++ = c; }
  void put(absl::string_view text) { at_ = std::copy(text.begin(), text.end(), at_); }
  //! The index in decimal.
  void number(index_t index) { at_ = std::to_chars(at_, end_, index).ptr; }
  //! A space, then the index, or -1 for none.
  void index(index_t index) {
    if (index == NO_ID) {
      put(" -1");
    } else {
      put(' ');
      number(index);
    }
  }
  //! The shortest text that reads back as the same double.
  void coordinate(double value) { at_ = std::to_chars(at_, end_, value).ptr; }

  char const* data() const { return buffer_.get(); }
  std::size_t size() const { return static_cast<std::size_t>(at_ - buffer_.get()); }

 private:
  std::unique_ptr<char[]> buffer_;
  char* at_;
  char* end_;
};

//! Characters at most: a shortest double, a separator or sign included;
//! an index with its space.
constexpr std::size_t COORDINATE_ROOM = 26;
constexpr std::size_t INDEX_ROOM = 11;

//! Reads the file line by line and reports errors with the file name and
//! the line number.
class SurfaceReader {
 public:
  explicit SurfaceReader(absl::string_view file) : file_(file), in_(file_) {
    if (!in_) {
      throw UlvaneException("[load_triangulated_surface] Cannot open file ", file_);
    }
  }

  //! The tokens of the next line; it must have `count` of them.
  std::vector<absl::string_view> tokens(std::size_t count) {
    if (!std::getline(in_, line_)) fail("unexpected end of file");
    ++line_number_;
    std::vector<absl::string_view> result =
        absl::StrSplit(line_, absl::ByAnyChar(" \t\r"), absl::SkipEmpty());
    if (result.size() != count) {
      fail(absl::StrCat("expected ", count, " fields, found ", result.size()));
    }
    return result;
  }

  //! A count or index below `limit`, or NO_ID for -1 when `allow_none`.
  index_t index(absl::string_view token, index_t limit, bool allow_none) {
    std::int64_t value = 0;
    if (!absl::SimpleAtoi(token, &value)) fail(absl::StrCat("not an integer: ", token));
    if (value == -1 && allow_none) return NO_ID;
    if (value < 0 || value >= static_cast<std::int64_t>(limit)) {
      fail(absl::StrCat("index out of range: ", token));
    }
    return static_cast<index_t>(value);
  }

  double coordinate(absl::string_view token) {
    double value = 0.0;
    if (!absl::SimpleAtod(token, &value)) fail(absl::StrCat("not a number: ", token));
    return value;
  }

  void expect(absl::string_view token, absl::string_view expected) {
    if (token != expected) fail(absl::StrCat("expected '", expected, "', found '", token, "'"));
  }

  [[noreturn]] void fail(std::string const& problem) const {
    throw UlvaneException("[load_triangulated_surface] ",
                          absl::StrCat(file_, ":", line_number_, ": ", problem));
  }

 private:
  std::string file_;
  std::ifstream in_;
  std::string line_;
  index_t line_number_{0};
};

}  // namespace

template <index_t D>
void save_triangulated_surface(TriangulatedSurface<D> const& surface, absl::string_view file) {
  const std::string head = absl::StrCat(MAGIC, " ", D, " ", VERSION, "\n", "vertices ",
                                        surface.nb_vertices(), "\n");
  const std::string middle = absl::StrCat("triangles ", surface.nb_polygons(), "\n");
  TextBuffer text(head.size() + middle.size() +
                  std::size_t{surface.nb_vertices()} * (COORDINATE_ROOM * D + 2 * INDEX_ROOM + 1) +
                  std::size_t{surface.nb_polygons()} * (6 * INDEX_ROOM + 3));
  text.put(head);
  for (index_t vertex = 0; vertex < surface.nb_vertices(); ++vertex) {
    for (index_t i = 0; i < D; ++i) {
      if (i != 0) text.put(' ');
      text.coordinate(surface.point(vertex).value(i));
    }
    const auto corner = surface.associated_polygon_vertex(vertex);
    text.index(corner ? corner->polygon_id : NO_ID);
    text.index(corner ? corner->vertex_id : NO_ID);
    text.put('\n');
  }
  text.put(middle);
  for (index_t triangle = 0; triangle < surface.nb_polygons(); ++triangle) {
    for (local_index_t v = 0; v < 3; ++v) {
      if (v != 0) text.put(' ');
      text.number(surface.polygon_vertex({triangle, v}));
    }
    text.put(surface.is_polygon_active(triangle) ? " 1" : " 0");
    for (local_index_t e = 0; e < 3; ++e) {
      text.index(surface.polygon_adjacent({triangle, e}).value_or(NO_ID));
    }
    text.put('\n');
  }

  const std::string name(file);
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  if (!out) {
    throw UlvaneException("[save_triangulated_surface] Cannot open file for writing: ", name);
  }
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.flush();
  if (!out) throw UlvaneException("[save_triangulated_surface] Cannot write file: ", name);
}

template <index_t D>
std::unique_ptr<TriangulatedSurface<D>> load_triangulated_surface(absl::string_view file) {
  SurfaceReader reader(file);
  const auto header = reader.tokens(3);
  reader.expect(header[0], MAGIC);
  reader.expect(header[1], std::to_string(D));
  reader.expect(header[2], VERSION);

  auto surface = TriangulatedSurface<D>::create();
  auto builder = TriangulatedSurfaceBuilder<D>::create(*surface);

  auto line = reader.tokens(2);
  reader.expect(line[0], "vertices");
  const index_t nb_vertices = reader.index(line[1], NO_ID, false);
  // Corners refer to triangles not read yet: keep them until then. The
  // counts come from the file, so nothing is allocated from them up front:
  // a corrupt count ends at the end of the file instead.
  std::vector<std::int64_t> corner_values;
  for (index_t vertex = 0; vertex < nb_vertices; ++vertex) {
    const auto fields = reader.tokens(D + 2);
    Point<D> point;
    for (index_t i = 0; i < D; ++i) point.set_value(i, reader.coordinate(fields[i]));
    builder->create_point(point);
    for (index_t i = D; i < D + 2; ++i) {
      std::int64_t value = 0;
      if (!absl::SimpleAtoi(fields[i], &value) || value < -1) {
        reader.fail(absl::StrCat("not a corner index: ", fields[i]));
      }
      corner_values.push_back(value);
    }
  }

  line = reader.tokens(2);
  reader.expect(line[0], "triangles");
  const index_t nb_triangles = reader.index(line[1], NO_ID, false);
  std::vector<std::array<index_t, 3>> adjacents;
  for (index_t triangle = 0; triangle < nb_triangles; ++triangle) {
    const auto fields = reader.tokens(7);
    std::array<index_t, 3> vertices;
    for (index_t v = 0; v < 3; ++v) vertices[v] = reader.index(fields[v], nb_vertices, false);
    if (vertices[0] == vertices[1] || vertices[1] == vertices[2] || vertices[0] == vertices[2]) {
      reader.fail("a triangle repeats a vertex");
    }
    builder->create_triangle(vertices);
    const index_t active = reader.index(fields[3], 2, false);
    if (active == 0) builder->remove_polygon(triangle);
    adjacents.emplace_back();
    for (index_t e = 0; e < 3; ++e) {
      adjacents.back()[e] = reader.index(fields[4 + e], nb_triangles, true);
    }
  }
  for (index_t triangle = 0; triangle < nb_triangles; ++triangle) {
    for (local_index_t e = 0; e < 3; ++e) {
      const index_t adjacent = adjacents[triangle][e];
      if (adjacent == NO_ID) continue;
      if (!surface->is_polygon_active(triangle) || !surface->is_polygon_active(adjacent)) {
        throw UlvaneException("[load_triangulated_surface] ",
                              absl::StrCat(file, ": triangle ", triangle,
                                           " has an adjacency to or from a removed triangle"));
      }
      // The neighbour must hold the edge the other way, else the fans and
      // twins of the loaded surface would be meaningless.
      const auto ends = surface->polygon_edge_vertices({triangle, e});
      bool has_twin = false;
      for (local_index_t k = 0; k < 3; ++k) {
        has_twin |= surface->polygon_edge_vertices({adjacent, k}) ==
                    std::array<index_t, 2>{{ends[1], ends[0]}};
      }
      if (!has_twin) {
        throw UlvaneException("[load_triangulated_surface] ",
                              absl::StrCat(file, ": triangle ", triangle, " is adjacent to triangle ",
                                           adjacent, ", which does not hold its edge ",
                                           static_cast<unsigned>(e), " the other way"));
      }
      builder->set_polygon_adjacent({triangle, e}, adjacent);
    }
  }
  for (index_t vertex = 0; vertex < nb_vertices; ++vertex) {
    const std::int64_t polygon = corner_values[2 * vertex];
    const std::int64_t local = corner_values[2 * vertex + 1];
    if (polygon == -1 && local == -1) continue;
    const bool valid = polygon >= 0 && polygon < static_cast<std::int64_t>(nb_triangles) &&
                       local >= 0 && local < 3 &&
                       surface->is_polygon_active(static_cast<index_t>(polygon)) &&
                       surface->polygon_vertex({static_cast<index_t>(polygon),
                                                static_cast<local_index_t>(local)}) == vertex;
    if (!valid) {
      throw UlvaneException("[load_triangulated_surface] ",
                            absl::StrCat(file, ": vertex ", vertex,
                                         " is associated with a corner that is not its own"));
    }
    builder->associate_polygon_vertex_to_vertex(
        {static_cast<index_t>(polygon), static_cast<local_index_t>(local)}, vertex);
  }
  return surface;
}

template void save_triangulated_surface<2>(TriangulatedSurface<2> const&, absl::string_view);
template void save_triangulated_surface<3>(TriangulatedSurface<3> const&, absl::string_view);
template std::unique_ptr<TriangulatedSurface<2>> load_triangulated_surface<2>(absl::string_view);
template std::unique_ptr<TriangulatedSurface<3>> load_triangulated_surface<3>(absl::string_view);

}  // namespace tarnix
