# The surface-intersection repair of Vantrel_brep, included by
# brep/CMakeLists.txt (paths are relative to brep/).
target_sources(Vantrel_brep PRIVATE
  repair/surface_intersection_repairer.cpp
  repair/small_blocks.cpp
  repair/duplicated_edge_pair_repair.cpp
  repair/crossing_edges_repair.cpp
)
