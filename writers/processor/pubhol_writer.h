// The public-holiday writer: the central writer's passes over the holidays
// of the chosen countries.
#pragma once

namespace pellary {
void Bplp_PubHolCentralWriter(bool preview);
}  // namespace pellary
