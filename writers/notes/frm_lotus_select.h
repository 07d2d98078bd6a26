// Old name of writers/notes/frmLotusSelect.h, kept only until shell/start.cpp includes that instead;
// remove then.
#pragma once

#include "writers/notes/frmLotusSelect.h"
