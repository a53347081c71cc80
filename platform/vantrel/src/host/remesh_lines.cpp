#include <vantrel/line2d.h>

#include <cmath>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include <common/variable_attribute.h>
#include <absl/strings/str_cat.h>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/edged_curve_builder.h>
#include <ulvane/model/section.h>
#include <ulvane/model/section_builder.h>

namespace tarnix {
namespace {

using LinePoints = std::deque<std::pair<Point<2>, unsigned int>>;

constexpr char const* LINE_ATTRIBUTE = "remeshed_line_attribute";

// The most vertices an output line may ask for: 2^31, well inside the
// 32-bit indices of its mesh.
constexpr double MAX_LINE_VERTICES = 2147483648.0;

// The edges of a line in chain order, each with its direction.
struct Chain {
  std::vector<index_t> vertices;  // one more than edges, unless closed
  std::vector<index_t> edges;
  std::vector<bool> forward;      // the edge runs from vertices[i] to vertices[i + 1]
  bool closed{false};
};

[[noreturn]] void throw_not_a_chain(Line<2> const& line) {
  throw UlvaneException("[remesh_lines] ",
                        absl::StrCat(line.component_id().string(), " is not a single chain of edges"));
}

// Orders the edges of a line from one end to the other (or around, for a
// closed line) and checks that they form one chain.
Chain order_chain(Line<2> const& line) {
  auto const& curve = line.mesh();
  Chain chain;
  if (curve.nb_edges() == 0) throw_not_a_chain(line);
  index_t start = curve.edge_vertices(0)[0];
  index_t nb_ends = 0;
  for (index_t v = 0; v < curve.nb_vertices(); ++v) {
    auto const degree = curve.edges_around_vertex(v).size();
    if (degree > 2) throw_not_a_chain(line);
    if (degree == 1 && nb_ends++ == 0) start = v;
  }
  if (nb_ends != 0 && nb_ends != 2) throw_not_a_chain(line);
  chain.closed = nb_ends == 0;

  std::vector<bool> used(curve.nb_edges(), false);
  index_t current = start;
  chain.vertices.push_back(start);
  for (index_t step = 0; step < curve.nb_edges(); ++step) {
    index_t next_edge = NO_ID;
    for (auto const& around : curve.edges_around_vertex(current)) {
      if (!used[around.edge_id]) {
        next_edge = around.edge_id;
        break;
      }
    }
    if (next_edge == NO_ID) throw_not_a_chain(line);
    used[next_edge] = true;
    auto const& ends = curve.edge_vertices(next_edge);
    bool const forward = ends[0] == current;
    current = forward ? ends[1] : ends[0];
    chain.edges.push_back(next_edge);
    chain.forward.push_back(forward);
    chain.vertices.push_back(current);
  }
  if (chain.closed != (current == start)) throw_not_a_chain(line);
  if (chain.closed) chain.vertices.pop_back();
  return chain;
}

std::string point_text(Point<2> const& point) {
  return absl::StrCat("(", point.value(0), ", ", point.value(1), ")");
}

double target_length(Metric<2> const& metric, Point<2> const& point, Line<2> const& line) {
  double const length = metric.edge_length(point);
  if (!(length > 0.0) || !std::isfinite(length)) {
    throw UlvaneException("[remesh_lines] The metric must give positive finite lengths, got ",
                          absl::StrCat(length, " at ", point_text(point), " on ",
                                       line.component_id().string()));
  }
  return length;
}

// The output unique vertex of the corner at a working line vertex, or NO_ID
// when no corner is there.
index_t corner_unique_vertex(RemeshingData<Section, 2> const& data, Line<2> const& working_line,
                             index_t vertex) {
  auto const& working = *data.working;
  auto const unique = working.unique_vertex({working_line.component_id(), vertex});
  auto const corners = working.component_mesh_vertices(unique, Corner<2>::component_type_static());
  if (corners.empty()) return NO_ID;
  auto const& input_corner = data.input_to_working.at(Corner<2>::component_type_static())
                                 .out2in(corners.front().component_id.id());
  auto const& output_corner =
      data.input_to_output.at(Corner<2>::component_type_static()).in2out(input_corner);
  return data.output.unique_vertex(
      {{Corner<2>::component_type_static(), output_corner}, 0});
}

// A line's chain and metric lengths, computed for every line before any is
// written, so that a line the metric refuses leaves the output untouched.
struct LinePlan {
  Line<2> const* input_line;
  Line<2> const* working_line;
  Chain chain;
  // Running sum of the metric lengths of the chain's edges.
  std::vector<double> cumulated;
};

LinePlan plan_line(RemeshingData<Section, 2> const& data, Line<2> const& input_line) {
  auto const& working_line = data.working->line(
      data.input_to_working.at(Line<2>::component_type_static()).in2out(input_line.id()));
  auto const& curve = working_line.mesh();
  LinePlan plan{&input_line, &working_line, order_chain(working_line), {}};
  auto const nb_edges = static_cast<index_t>(plan.chain.edges.size());
  plan.cumulated.assign(nb_edges + 1, 0.0);
  for (index_t i = 0; i < nb_edges; ++i) {
    auto const e = plan.chain.edges[i];
    plan.cumulated[i + 1] =
        plan.cumulated[i] +
        curve.edge_length(e) / target_length(data.metric, curve.edge_barycenter(e), input_line);
  }
  double const total = plan.cumulated.back();
  // Written so that a sum that is not a number is refused too.
  if (!(total <= MAX_LINE_VERTICES)) {
    throw UlvaneException("[remesh_lines] The metric asks for about ",
                          absl::StrCat(total, " vertices on ", input_line.component_id().string(),
                                       ", more than the limit of ",
                                       static_cast<std::uint64_t>(MAX_LINE_VERTICES)));
  }
  return plan;
}

void remesh_line(RemeshingData<Section, 2>& data, SectionBuilder& builder, LinePlan const& plan) {
  auto const& working_line = *plan.working_line;
  auto const& output_id =
      data.input_to_output.at(Line<2>::component_type_static()).in2out(plan.input_line->id());
  auto const& curve = working_line.mesh();
  Chain const& chain = plan.chain;
  auto const& cumulated = plan.cumulated;
  auto const nb_edges = static_cast<index_t>(chain.edges.size());
  double const total = cumulated.back();
  auto nb_output_edges = static_cast<index_t>(std::max(1.0, std::round(total)));
  if (chain.closed) nb_output_edges = std::max<index_t>(nb_output_edges, 3);

  auto& output_curve = builder.modifiable_line(output_id).get_modifiable_mesh();
  auto output_builder = EdgedCurveBuilder<2>::create(output_curve);
  auto attribute =
      curve.edge_attribute_manager().find_or_create_attribute<VariableAttribute, LinePoints>(
          LINE_ATTRIBUTE, LinePoints{}, AttributeProperties{0});
  for (index_t e = 0; e < curve.nb_edges(); ++e) attribute->set_value(e, LinePoints{});

  auto const chain_point = [&](index_t i) { return curve.point(chain.vertices[i % chain.vertices.size()]); };
  index_t const nb_output_vertices = chain.closed ? nb_output_edges : nb_output_edges + 1;
  // For each output vertex, the chain edges it lies on, in chain order.
  std::vector<std::vector<std::pair<index_t, Point<2>>>> on_edges(nb_output_vertices);
  index_t edge = 0;
  for (index_t k = 0; k < nb_output_vertices; ++k) {
    double const t = total * k / nb_output_edges;
    while (edge + 1 < nb_edges && cumulated[edge + 1] < t) ++edge;
    double const span = cumulated[edge + 1] - cumulated[edge];
    double s = span > 0.0 ? std::min(1.0, std::max(0.0, (t - cumulated[edge]) / span)) : 0.0;
    // A vertex that rounding puts next to a line vertex is put on it, so
    // that lines sampled at their own vertices keep exact positions.
    constexpr double SAME_VERTEX = 1e-9;
    if (s > 1.0 - SAME_VERTEX) s = 1.0;
    if (s < SAME_VERTEX && edge > 0) {
      --edge;
      s = 1.0;
    }
    Point<2> const from = chain_point(edge);
    Point<2> const to = chain_point(edge + 1);
    Point<2> const point = k == 0 ? from : (s >= 1.0 ? to : from + (to - from) * s);
    output_builder->create_point(point);
    on_edges[k].emplace_back(edge, point);
    // A vertex at a chain vertex lies on both edges there.
    if (s >= 1.0 && edge + 1 < nb_edges) on_edges[k].emplace_back(edge + 1, point);
    if (k == 0 && chain.closed) on_edges[k].emplace_back(nb_edges - 1, point);
  }
  if (!chain.closed) {
    // The last vertex is exactly the chain's far end.
    auto const last = nb_output_vertices - 1;
    Point<2> const end = chain_point(nb_edges);
    output_builder->set_point(last, end);
    on_edges[last].clear();
    on_edges[last].emplace_back(nb_edges - 1, end);
  }
  for (index_t k = 0; k + 1 < nb_output_vertices; ++k) output_builder->create_edge(k, k + 1);
  if (chain.closed) output_builder->create_edge(nb_output_vertices - 1, 0);

  // Unique vertices: corners at the ends, new ones elsewhere.
  ComponentID const output_component{Line<2>::component_type_static(), output_id};
  for (index_t k = 0; k < nb_output_vertices; ++k) {
    index_t unique = NO_ID;
    if (k == 0) unique = corner_unique_vertex(data, working_line, chain.vertices.front());
    if (!chain.closed && k + 1 == nb_output_vertices) {
      unique = corner_unique_vertex(data, working_line, chain.vertices.back());
    }
    if (unique == NO_ID) unique = builder.create_unique_vertex();
    builder.set_unique_vertex({output_component, k}, unique);
  }

  // Points per working edge, from its vertex 0 to its vertex 1.
  std::vector<LinePoints> points(nb_edges);
  for (index_t k = 0; k < nb_output_vertices; ++k) {
    for (auto const& entry : on_edges[k]) points[entry.first].emplace_back(entry.second, k);
  }
  for (index_t i = 0; i < nb_edges; ++i) {
    if (chain.closed && i == nb_edges - 1 && !points[i].empty() && points[i].front().second == 0) {
      // The closing vertex comes last along the closing edge.
      points[i].push_back(points[i].front());
      points[i].pop_front();
    }
    if (!chain.forward[i]) std::reverse(points[i].begin(), points[i].end());
    attribute->set_value(chain.edges[i], std::move(points[i]));
  }
}

}  // namespace

void remesh_lines(RemeshingData<Section, 2>& data) {
  std::vector<LinePlan> plans;
  for (auto const& line : data.input.lines()) plans.push_back(plan_line(data, line));
  SectionBuilder builder{data.output};
  for (auto const& plan : plans) remesh_line(data, builder, plan);
}

}  // namespace tarnix
