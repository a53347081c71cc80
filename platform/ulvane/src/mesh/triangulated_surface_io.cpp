#include <ulvane/mesh/triangulated_surface_io.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
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

// The longest texts the writers below produce: an index in decimal, and
// the shortest text of a double that reads back as the same double.
constexpr std::size_t MAX_NUMBER_LENGTH = 10;
constexpr std::size_t MAX_COORDINATE_LENGTH = 32;

//! Writes the index in decimal at `out`; returns the end of the text.
char* write_number(char* out, index_t index) {
  return std::to_chars(out, out + MAX_NUMBER_LENGTH, index).ptr;
}

//! Writes a space, then the index, or -1 for none.
char* write_index(char* out, index_t index) {
  *out++ = ' ';
  if (index == NO_ID) {
    *out++ = '-';
    *out++ = '1';
    return out;
  }
  return write_number(out, index);
}

//! Writes the shortest text that reads back as the same double.
char* write_coordinate(char* out, double value) {
  return std::to_chars(out, out + MAX_COORDINATE_LENGTH, value).ptr;
}

//! Writes the text and then the count in decimal and an end of line.
char* write_count_line(char* out, absl::string_view text, index_t count) {
  out = std::copy(text.begin(), text.end(), out);
  out = write_number(out, count);
  *out++ = '\n';
  return out;
}

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
  const std::string header = absl::StrCat(MAGIC, " ", D, " ", VERSION, "\n");
  const index_t nb_vertices = surface.nb_vertices();
  const index_t nb_triangles = surface.nb_polygons();
  // The text is written in place into room for the longest lines: a
  // vertex line holds D coordinates and two indices, a triangle line three
  // vertices, its activity and three indices, each with its separator.
  constexpr std::size_t vertex_line = D * (MAX_COORDINATE_LENGTH + 1) + 2 * (MAX_NUMBER_LENGTH + 2);
  constexpr std::size_t triangle_line = 6 * (MAX_NUMBER_LENGTH + 2) + 3;
  constexpr std::size_t count_line = 16 + MAX_NUMBER_LENGTH;
  const std::size_t capacity = header.size() + 2 * count_line +
                               std::size_t{nb_vertices} * vertex_line +
                               std::size_t{nb_triangles} * triangle_line;
  const std::unique_ptr<char[]> text(new char[capacity]);
  char* out = std::copy(header.begin(), header.end(), text.get());
  out = write_count_line(out, "vertices ", nb_vertices);
  for (index_t vertex = 0; vertex < nb_vertices; ++vertex) {
    Point<D> const& point = surface.point(vertex);
    for (index_t i = 0; i < D; ++i) {
      if (i != 0) *out++ = ' ';
      out = write_coordinate(out, point.value(i));
    }
    const auto corner = surface.associated_polygon_vertex(vertex);
    out = write_index(out, corner ? corner->polygon_id : NO_ID);
    out = write_index(out, corner ? corner->vertex_id : NO_ID);
    *out++ = '\n';
  }
  out = write_count_line(out, "triangles ", nb_triangles);
  for (index_t triangle = 0; triangle < nb_triangles; ++triangle) {
    for (local_index_t v = 0; v < 3; ++v) {
      if (v != 0) *out++ = ' ';
      out = write_number(out, surface.polygon_vertex({triangle, v}));
    }
    *out++ = ' ';
    *out++ = surface.is_polygon_active(triangle) ? '1' : '0';
    for (local_index_t e = 0; e < 3; ++e) {
      out = write_index(out, surface.polygon_adjacent({triangle, e}).value_or(NO_ID));
    }
    *out++ = '\n';
  }

  const std::string name(file);
  std::ofstream out_file(name, std::ios::binary | std::ios::trunc);
  if (!out_file) {
    throw UlvaneException("[save_triangulated_surface] Cannot open file for writing: ", name);
  }
  out_file.write(text.get(), static_cast<std::streamsize>(out - text.get()));
  out_file.flush();
  if (!out_file) throw UlvaneException("[save_triangulated_surface] Cannot write file: ", name);
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
