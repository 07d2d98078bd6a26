// The databank layer: Database, Recordset, Field and the Jet error numbers.
#pragma once

#include "platform/dao/database.h"
#include "platform/dao/jet_errors.h"
#include "platform/dao/recordset.h"
#include "platform/dao/types.h"
#include "platform/errors.h"
#include "platform/variant.h"
