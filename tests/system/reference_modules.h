// The reference modules as a fresh process has them: each walk is a run of
// its own.
#pragma once

#include "reference/html_generator.h"
#include "reference/psion/psion_section.h"
#include "reference/psion/psion_transfer.h"
#include "reference/reference_tree.h"
#include "reference/wince/wince_copier.h"
#include "standins/wince/cecomms.h"
#include "writers/palm/palm_module.h"

namespace pellary {

inline void resetReferenceModules() {
  resetReferenceTree();
  resetHtmlGenerator();
  resetWinCECopier();
  resetPsion5Ref();
  resetPsionTransfer();
  resetPalmModule();
  standins::wince::resetConnection();
}

}  // namespace pellary
