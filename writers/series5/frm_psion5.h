// Old name of writers/series5/frmPsion5.h, kept only until shell/start.cpp includes that instead;
// remove then.
#pragma once

#include "writers/series5/frmPsion5.h"
