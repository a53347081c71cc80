#pragma once

#include <ulvane/model/block.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/brep_builder.h>
#include <ulvane/model/component.h>
#include <ulvane/model/component_collection.h>
#include <ulvane/model/component_range.h>
#include <ulvane/model/component_type.h>
#include <ulvane/model/corner.h>
#include <ulvane/model/line.h>
#include <ulvane/model/model_copy_mapping.h>
#include <ulvane/model/section.h>
#include <ulvane/model/section_builder.h>
#include <ulvane/model/surface.h>
#include <ulvane/model/vertex_identifier.h>
