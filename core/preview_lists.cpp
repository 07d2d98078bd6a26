#include "core/preview_lists.h"

namespace pellary {
PreviewTargets& previewTargets() {
  static PreviewTargets targets;
  return targets;
}
}  // namespace pellary
