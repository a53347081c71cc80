#pragma once

//! Geometry layer: points, vectors, segments, lines, triangles, planes, exact
//! orientation predicates, positions and sides, distances, intersections,
//! bounding boxes and the bounding-box tree.

#include <ulvane/geometry/aabb.h>
#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/bounding_box.h>
#include <ulvane/geometry/distance.h>
#include <ulvane/geometry/intersection.h>
#include <ulvane/geometry/point.h>
#include <ulvane/geometry/position.h>
#include <ulvane/geometry/predicates.h>
#include <ulvane/geometry/triangle_functions.h>
#include <ulvane/geometry/vector.h>
