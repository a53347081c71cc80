#pragma once

#include <ulvane/basic/attribute.h>
#include <ulvane/basic/attribute_manager.h>
#include <ulvane/basic/common.h>
#include <ulvane/basic/logger.h>
#include <ulvane/basic/progress_logger.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/basic/uuid.h>
