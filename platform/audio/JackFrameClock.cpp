#include <jack/jack.h>

#include "platform/audio/FrameClock.h"

namespace varnkit::audio {
namespace {

// A client that is never activated: it only reads the server's frame timer, which every
// client of the server shares.
class JackFrameClock final : public FrameClock {
 public:
  explicit JackFrameClock(jack_client_t* client) : client_(client) {}
  ~JackFrameClock() override { jack_client_close(client_); }
  JackFrameClock(const JackFrameClock&) = delete;
  JackFrameClock& operator=(const JackFrameClock&) = delete;

  uint32_t cycleStart() const noexcept override { return jack_last_frame_time(client_); }
  uint32_t period() const noexcept override { return jack_get_buffer_size(client_); }

 private:
  jack_client_t* client_;
};

}  // namespace

std::unique_ptr<FrameClock> openJackFrameClock(const std::string& clientName) {
  jack_client_t* client =
      jack_client_open((clientName + " clock").c_str(), JackNoStartServer, nullptr);
  if (client == nullptr) return nullptr;
  return std::make_unique<JackFrameClock>(client);
}

}  // namespace varnkit::audio
