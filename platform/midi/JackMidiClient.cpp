#include "platform/midi/JackMidiClient.h"

#include <jack/midiport.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <thread>

#include "platform/midi/JackInputPort.h"

namespace varnkit::midi {
namespace {

// The short name of the port of slot: "in", "in 2", "in 3"...
std::string portName(std::size_t slot) {
  return slot == 0 ? std::string("in") : "in " + std::to_string(slot + 1);
}

void sleepAWhile() {
  std::this_thread::sleep_for(std::chrono::microseconds(200));
}

// One client per server: a client reaches the server JACK_DEFAULT_SERVER names when it opens.
// Retired clients stay where the leak checker can see them; inputs may refer to them.
struct Clients {
  std::mutex lock;
  std::map<std::string, JackMidiClient*> current;
  std::vector<JackMidiClient*> retired;
};

Clients& clients() {
  static auto* all = new Clients;
  return *all;
}

}  // namespace

JackMidiClient* JackMidiClient::get() {
  Clients& all = clients();
  const char* server = std::getenv("JACK_DEFAULT_SERVER");
  std::lock_guard guard(all.lock);
  [[maybe_unused]] static const int closing = std::atexit(&JackMidiClient::closeAll);
  JackMidiClient*& current = all.current[server != nullptr ? server : ""];
  if (current != nullptr && current->running()) return current;
  if (current != nullptr) {
    current->retire();
    all.retired.push_back(current);
  }
  current = open();
  return current;
}

void JackMidiClient::closeAll() noexcept {
  Clients& all = clients();
  std::lock_guard guard(all.lock);
  for (auto& [server, client] : all.current)
    if (client != nullptr) client->close();
}

JackMidiClient* JackMidiClient::open() {
  jack_client_t* jack = jack_client_open(kName, JackNoStartServer, nullptr);
  if (jack == nullptr) return nullptr;
  auto* client = new JackMidiClient(jack);
  jack_set_process_callback(jack, &JackMidiClient::process, client);
  jack_on_info_shutdown(jack, &JackMidiClient::shutdown, client);
  if (jack_activate(jack) != 0) {
    jack_client_close(jack);
    delete client;
    return nullptr;
  }
  return client;
}

void JackMidiClient::retire() noexcept {
  std::lock_guard guard(lock_);
  if (!closed_ && dropped_.load(std::memory_order_acquire)) jack_client_close(client_);
  closed_ = true;
}

void JackMidiClient::close() noexcept {
  std::lock_guard guard(lock_);
  if (!usable()) return;
  jack_deactivate(client_);  // no process callback reads an input after this
  jack_client_close(client_);
  closed_ = true;
  running_.store(false, std::memory_order_release);
}

bool JackMidiClient::onProcessThread() const noexcept {
  return threadKnown_.load(std::memory_order_acquire) &&
         pthread_equal(thread_.load(std::memory_order_relaxed), pthread_self());
}

bool JackMidiClient::waitCycles(uint64_t cycles, std::chrono::milliseconds limit) const {
  const uint64_t until = count() + cycles;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (count() < until) {
    if (!running() || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return true;
}

std::vector<std::string> JackMidiClient::midiPorts(unsigned long flags) {
  std::vector<std::string> names;
  std::lock_guard guard(lock_);
  if (!usable()) return names;
  const char** ports = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
  if (ports == nullptr) return names;
  for (const char** p = ports; *p != nullptr; ++p) names.emplace_back(*p);
  jack_free(ports);
  return names;
}

MMRESULT JackMidiClient::attach(const std::string& source, JackInputPort& reader,
                                std::size_t& slot) {
  std::lock_guard guard(lock_);
  if (!usable()) return MMSYSERR_NODRIVER;
  if (jack_port_by_name(client_, source.c_str()) == nullptr) return MMSYSERR_BADDEVICEID;
  std::size_t free = kInputs;
  if (const MMRESULT taken = takeSlot(free); taken != MMSYSERR_NOERROR) return taken;
  Slot& own = slots_[free];
  own.reader.store(&reader);
  const int connected = jack_connect(client_, source.c_str(), jack_port_name(own.port.load()));
  if (connected == 0 || connected == EEXIST) {
    slot = free;
    return MMSYSERR_NOERROR;
  }
  own.reader.store(nullptr);
  waitIdle(free);
  own.taken = false;
  return MMSYSERR_ERROR;
}

// With lock_ held: a free slot, its port registered.
MMRESULT JackMidiClient::takeSlot(std::size_t& slot) {
  std::size_t unregistered = kInputs;
  for (std::size_t i = 0; i < kInputs; ++i) {
    if (slots_[i].taken) continue;
    if (slots_[i].port.load() != nullptr) {
      slot = i;
      slots_[i].taken = true;
      return MMSYSERR_NOERROR;
    }
    if (unregistered == kInputs) unregistered = i;
  }
  if (unregistered == kInputs) return MMSYSERR_NOMEM;
  jack_port_t* port = jack_port_register(client_, portName(unregistered).c_str(),
                                         JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (port == nullptr) return MMSYSERR_ERROR;
  slots_[unregistered].port.store(port);
  slots_[unregistered].taken = true;
  slot = unregistered;
  return MMSYSERR_NOERROR;
}

void JackMidiClient::detach(std::size_t slot) noexcept {
  Slot& own = slots_[slot];
  // Cleared before busy is looked at, as the callback counts itself busy before it reads
  // reader: one that found the reader is then seen busy.
  own.reader.store(nullptr);
  waitIdle(slot);
  std::lock_guard guard(lock_);
  if (usable()) jack_port_disconnect(client_, own.port.load());
  own.taken = false;
}

void JackMidiClient::waitIdle(std::size_t slot) const noexcept {
  while (slots_[slot].busy.load() != 0) sleepAWhile();
}

int JackMidiClient::process(jack_nframes_t frames, void* self) noexcept {
  auto& client = *static_cast<JackMidiClient*>(self);
  if (!client.threadKnown_.load(std::memory_order_relaxed)) {
    client.thread_.store(pthread_self(), std::memory_order_relaxed);
    client.threadKnown_.store(true, std::memory_order_release);
  }
  const jack_nframes_t cycleStart = jack_last_frame_time(client.client_);
  for (Slot& slot : client.slots_) client.read(slot, frames, cycleStart);
  client.count_.fetch_add(1, std::memory_order_acq_rel);
  return 0;
}

void JackMidiClient::read(Slot& slot, jack_nframes_t frames, jack_nframes_t cycleStart) noexcept {
  slot.busy.fetch_add(1);
  if (JackInputPort* reader = slot.reader.load()) {
    void* buffer = jack_port_get_buffer(slot.port.load(), frames);
    const uint32_t events = jack_midi_get_event_count(buffer);
    for (uint32_t i = 0; i < events; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, buffer, i) == 0)
        reader->received(event.buffer, event.size, cycleStart + event.time);
    }
  }
  slot.busy.fetch_sub(1);  // the last touch of the reader: a closer may free it right after
}

void JackMidiClient::shutdown(jack_status_t code, const char*, void* self) noexcept {
  auto& client = *static_cast<JackMidiClient*>(self);
  // A client the server dropped for being too slow is closed as ever; the server lives on.
  if ((code & JackClientZombie) != 0) client.dropped_.store(true, std::memory_order_release);
  client.running_.store(false, std::memory_order_release);
}

}  // namespace varnkit::midi
