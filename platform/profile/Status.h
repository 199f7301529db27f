#pragma once
// What a settings-store operation came to: reported as the file services it stands on report.
// The store's callers mostly ignore failures (a lost setting is not worth a message box), but
// they must be able to see them.

#include "platform/files/Status.h"

namespace varnkit::profile {

using files::Status;

}  // namespace varnkit::profile
