// Old name of writers/palm/frmPalmRef.h, kept only until shell/start.cpp includes that instead;
// remove then.
#pragma once

#include "writers/palm/frmPalmRef.h"
