#include "platform/midi/JackCycles.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace varnkit::midi {

std::shared_ptr<JackCycles> JackCycles::shared() {
  static std::mutex* lock = new std::mutex;
  // One watch per server: a client reaches the server JACK_DEFAULT_SERVER names when it opens.
  static auto* watches = new std::map<std::string, std::weak_ptr<JackCycles>>;
  const char* server = std::getenv("JACK_DEFAULT_SERVER");
  std::lock_guard guard(*lock);
  std::weak_ptr<JackCycles>& current = (*watches)[server != nullptr ? server : ""];
  if (auto watch = current.lock(); watch && watch->running()) return watch;
  jack_client_t* client = jack_client_open("VarnKit MIDI clock", JackNoStartServer, nullptr);
  if (client == nullptr) return nullptr;
  std::shared_ptr<JackCycles> watch(new JackCycles(client));
  jack_set_process_callback(client, &JackCycles::process, watch.get());
  jack_on_shutdown(client, &JackCycles::shutdown, watch.get());
  if (jack_activate(client) != 0) return nullptr;
  current = watch;
  return watch;
}

std::shared_ptr<JackCycles> JackCycles::kept() {
  static std::mutex* lock = new std::mutex;
  static auto* watch = new std::shared_ptr<JackCycles>;
  std::lock_guard guard(*lock);
  if (!*watch || !(*watch)->running()) {
    watch->reset();
    *watch = shared();
  }
  return *watch;
}

std::vector<std::string> JackCycles::midiPorts(unsigned long flags) const {
  std::vector<std::string> names;
  const char** ports = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
  if (ports == nullptr) return names;
  for (const char** p = ports; *p != nullptr; ++p) names.emplace_back(*p);
  jack_free(ports);
  return names;
}

bool JackCycles::waitCycles(uint64_t cycles, std::chrono::milliseconds limit) const {
  const uint64_t until = count() + cycles;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (count() < until) {
    if (!running() || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return true;
}

JackCycles::~JackCycles() {
  if (running()) jack_client_close(client_);
}

int JackCycles::process(jack_nframes_t /*frames*/, void* self) noexcept {
  static_cast<JackCycles*>(self)->count_.fetch_add(1, std::memory_order_acq_rel);
  return 0;
}

void JackCycles::shutdown(void* self) noexcept {
  static_cast<JackCycles*>(self)->running_.store(false, std::memory_order_release);
}

}  // namespace varnkit::midi
