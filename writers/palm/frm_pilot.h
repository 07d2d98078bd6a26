// Old name of writers/palm/frmPilot.h, kept only until shell/start.cpp includes that instead;
// remove then.
#pragma once

#include "writers/palm/frmPilot.h"
