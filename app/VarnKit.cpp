#include "app/VarnKit.h"

#include <QApplication>

#include "app/EndOnSignal.h"
#include "platform/Error.h"
#include "sound/SoundOutput.h"

namespace varnkit {

int RunVarnKit(const std::string& appFolder, ui::MidiInputFactory makeMidi,
               const ui::StartChoices& start) {
  const app::EndOnSignal ending;  // held until the sound device has closed too
  int status = 0;
  {
    ui::Form1 form(appFolder, std::move(makeMidi), start);
    try {
      form.Form_Load();
    } catch (const Error& e) {
      // Without a sound device there is nothing to play: say why and stop before any kit loads.
      ui::MessageBoxService().MsgBox(e.text(), vbOKOnly | vbExclamation, "");
      CloseSound();
      return ending.asked() ? 0 : 1;  // asked to end while the box was up: as asked
    }
    // A signal during a start-up box has already ended every loop; a new one would not know.
    if (!ending.asked()) {
      form.show();
      status = QApplication::exec();
    }
  }
  CloseSound();  // after the window and its kit: the stream stops, then the device goes
  return status;
}

}  // namespace varnkit
