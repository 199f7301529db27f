#pragma once
// An import run from the window: on a thread of its own behind a progress box, so that the
// window keeps answering however long the kit takes to read and decode.

#include <QWidget>

#include "import/KitImport.h"
#include "kit/WindowLink.h"

namespace varnkit::ui {

// Imports request on a thread of its own while a modal progress box, titled "Import kit",
// shows each step; its Cancel stops the import at the next step, and nothing is written.
// The question whether to replace a kit of the same name is asked here through boxes, the
// import waiting for the answer. Returns once the import has ended. User-interface thread.
import::ImportOutcome ImportWithProgress(QWidget* parent, MessageBoxes& boxes,
                                         const import::ImportRequest& request);

}  // namespace varnkit::ui
