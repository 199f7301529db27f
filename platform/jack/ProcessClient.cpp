#include "platform/jack/ProcessClient.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <semaphore>
#include <thread>

namespace varnkit::jack {
namespace {

// The short name of the port of slot: "in", "in 2", "in 3"...
std::string portName(std::size_t slot) {
  return slot == 0 ? std::string("in") : "in " + std::to_string(slot + 1);
}

// The JACK library prints its complaints itself, one screenful for every try at a server that
// is not there, which on a desktop without JACK is every start. VarnKit says what matters in
// its own words.
void quiet(const char*) {}

void sleepAWhile() {
  std::this_thread::sleep_for(std::chrono::microseconds(200));
}

// One client per server: a client reaches the server JACK_DEFAULT_SERVER named when it was
// first asked for, and keeps to it.
struct Clients {
  std::mutex lock;
  std::map<std::string, ProcessClient*> current;
};

Clients& clients() {
  static auto* all = new Clients;
  return *all;
}

// Wakes the mender: a client was lost. Never destroyed, as the mender's thread is not.
std::counting_semaphore<>& losses() {
  static auto* semaphore = new std::counting_semaphore<>(0);
  return *semaphore;
}

}  // namespace

ProcessClient* ProcessClient::get(bool withSound) {
  Clients& all = clients();
  const char* server = std::getenv("JACK_DEFAULT_SERVER");
  std::lock_guard guard(all.lock);
  [[maybe_unused]] static const int closing = [] {
    jack_set_error_function(&quiet);
    jack_set_info_function(&quiet);
    return std::atexit(&ProcessClient::closeAll);
  }();
  [[maybe_unused]] static const bool mending = [] {
    losses();
    std::thread(&ProcessClient::mendAll).detach();
    return true;
  }();
  const std::string name = server != nullptr ? server : "";
  ProcessClient*& client = all.current[name];
  if (client == nullptr) client = new ProcessClient(name);
  std::lock_guard own(client->lock_);
  if (client->closed_) return nullptr;
  client->withSound_ = client->withSound_ || withSound;
  if (!client->running()) client->reopen();
  return client->running() ? client : nullptr;
}

bool ProcessClient::reopen() {
  leaveLink();
  const auto options = JackOptions(JackNoStartServer | (server_.empty() ? 0 : JackServerName));
  jack_client_t* jack = jack_client_open(kName, options, nullptr, server_.c_str());
  if (jack == nullptr) return false;
  auto* link = new Link;
  link->owner = this;
  link->jack = jack;
  links_.push_back(link);
  link_ = link;
  generation_.fetch_add(1, std::memory_order_acq_rel);
  rate_.store(jack_get_sample_rate(jack), std::memory_order_release);
  period_.store(jack_get_buffer_size(jack), std::memory_order_release);
  jack_set_process_callback(jack, &ProcessClient::process, link);
  jack_on_info_shutdown(jack, &ProcessClient::shutdown, link);
  jack_set_sample_rate_callback(jack, &ProcessClient::rateChanged, link);
  jack_set_buffer_size_callback(jack, &ProcessClient::periodChanged, link);
  // The inputs open on the last client get ports of their own on this one, and the first
  // input's port and the sound's are there before the client runs: an input chosen or a sound
  // started later only connects, and changes the graph of a running server no more than that.
  // Further slots get theirs when next taken.
  for (std::size_t i = 0; i < kInputs; ++i) {
    slots_[i].port.store(nullptr);
    slots_[i].connected = false;
    if (slots_[i].taken || i == 0) slots_[i].port.store(registerPort(i));
  }
  if (withSound_) registerOutputs();
  threadKnown_.store(false, std::memory_order_release);
  live_.store(link, std::memory_order_release);
  if (jack_activate(jack) != 0) {
    live_.store(nullptr, std::memory_order_release);
    jack_client_close(jack);
    link->gone.store(true);
    link_ = nullptr;
    for (Slot& slot : slots_) slot.port.store(nullptr);  // freed with the client
    for (auto& port : outputs_) port.store(nullptr);
    return false;
  }
  connectSlots();
  return true;
}

void ProcessClient::leaveLink() noexcept {
  live_.store(nullptr, std::memory_order_release);
  for (std::size_t i = 0; i < kInputs; ++i) waitIdle(i);  // no callback reads a port of it now
  // The sound output sees the generation change and starts again on the next client.
  renderer_.store(nullptr);
  while (rendering_.load() != 0) sleepAWhile();
  for (auto& port : outputs_) port.store(nullptr);
  if (link_ == nullptr) return;
  if (link_->dropped.load(std::memory_order_acquire)) {
    jack_client_close(link_->jack);
  } else {
    serversLost_.fetch_add(1, std::memory_order_acq_rel);
  }
  link_ = nullptr;
}

void ProcessClient::connectSlots() noexcept {
  if (!usable()) return;
  for (std::size_t i = 0; i < kInputs; ++i) {
    Slot& slot = slots_[i];
    if (!slot.taken || slot.connected) continue;
    if (slot.port.load() == nullptr) slot.port.store(registerPort(i));
    jack_port_t* own = slot.port.load();
    if (own == nullptr || jack_port_by_name(link_->jack, slot.source.c_str()) == nullptr) continue;
    const int connected = jack_connect(link_->jack, slot.source.c_str(), jack_port_name(own));
    slot.connected = connected == 0 || connected == EEXIST;
  }
}

bool ProcessClient::mend() {
  std::lock_guard guard(lock_);
  if (closed_) return false;
  bool inputs = false;
  for (const Slot& slot : slots_) inputs = inputs || slot.taken;
  if (!inputs) return false;  // the sound output comes back through its device's own watch
  if (!running() && !reopen()) return true;
  connectSlots();
  for (const Slot& slot : slots_)
    if (slot.taken && !slot.connected) return true;
  return false;
}

void ProcessClient::mendAll() {
  for (int tries = 0;;) {
    std::vector<ProcessClient*> all;
    {
      Clients& known = clients();
      std::lock_guard guard(known.lock);
      for (const auto& [server, client] : known.current) all.push_back(client);
    }
    bool more = false;
    for (ProcessClient* client : all) more = client->mend() || more;
    tries = more ? tries + 1 : 0;
    bool lost = true;
    if (!more) {
      losses().acquire();
    } else {
      lost = losses().try_acquire_for(tries * kRetry < kLaterRetry ? kRetry : kLaterRetry);
    }
    if (lost) std::this_thread::sleep_for(kSettle);
  }
}

void ProcessClient::wake() noexcept {
  losses().release();
}

void ProcessClient::dropped() noexcept {
  std::lock_guard guard(lock_);
  if (usable()) shutdown(JackClientZombie, "", link_);
}

void ProcessClient::stalled(uint64_t generation) noexcept {
  std::lock_guard guard(lock_);
  if (usable() && generation == this->generation()) shutdown(JackFailure, "", link_);
}

void ProcessClient::closeAll() noexcept {
  Clients& all = clients();
  std::lock_guard guard(all.lock);
  for (auto& [server, client] : all.current)
    if (client != nullptr) client->close();
}

void ProcessClient::close() noexcept {
  std::lock_guard guard(lock_);
  if (usable()) {
    jack_deactivate(link_->jack);  // no process callback reads an input after this
    jack_client_close(link_->jack);
  }
  closed_ = true;
  live_.store(nullptr, std::memory_order_release);
}

bool ProcessClient::onProcessThread() const noexcept {
  return threadKnown_.load(std::memory_order_acquire) &&
         pthread_equal(thread_.load(std::memory_order_relaxed), pthread_self());
}

bool ProcessClient::waitCycles(uint64_t cycles, std::chrono::milliseconds limit) const {
  const uint64_t until = count() + cycles;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (count() < until) {
    if (!running() || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return true;
}

std::vector<std::string> ProcessClient::midiPorts(unsigned long flags) {
  std::vector<std::string> names;
  std::lock_guard guard(lock_);
  if (!usable()) return names;
  const char** ports = jack_get_ports(link_->jack, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
  if (ports == nullptr) return names;
  for (const char** p = ports; *p != nullptr; ++p) names.emplace_back(*p);
  jack_free(ports);
  return names;
}

Attached ProcessClient::attach(const std::string& source, MidiReader& reader, std::size_t& slot) {
  std::lock_guard guard(lock_);
  if (!usable()) return Attached::NoServer;
  if (jack_port_by_name(link_->jack, source.c_str()) == nullptr) return Attached::NoSource;
  std::size_t free = kInputs;
  if (const Attached taken = takeSlot(free); taken != Attached::Ok) return taken;
  Slot& own = slots_[free];
  own.reader.store(&reader);
  const int connected = jack_connect(link_->jack, source.c_str(), jack_port_name(own.port.load()));
  if (connected == 0 || connected == EEXIST) {
    own.source = source;
    own.connected = true;
    slot = free;
    return Attached::Ok;
  }
  own.reader.store(nullptr);
  waitIdle(free);
  own.taken = false;
  return Attached::Failed;
}

// With lock_ held: a free slot, its port registered.
Attached ProcessClient::takeSlot(std::size_t& slot) {
  std::size_t unregistered = kInputs;
  for (std::size_t i = 0; i < kInputs; ++i) {
    if (slots_[i].taken) continue;
    if (slots_[i].port.load() != nullptr) {
      slot = i;
      slots_[i].taken = true;
      return Attached::Ok;
    }
    if (unregistered == kInputs) unregistered = i;
  }
  if (unregistered == kInputs) return Attached::NoRoom;
  jack_port_t* port = registerPort(unregistered);
  if (port == nullptr) return Attached::Failed;
  slots_[unregistered].port.store(port);
  slots_[unregistered].taken = true;
  slot = unregistered;
  return Attached::Ok;
}

// With lock_ held and a link: the port of slot on the JACK client of now; null on failure.
jack_port_t* ProcessClient::registerPort(std::size_t slot) noexcept {
  return jack_port_register(link_->jack, portName(slot).c_str(), JACK_DEFAULT_MIDI_TYPE,
                            JackPortIsInput, 0);
}

void ProcessClient::detach(std::size_t slot) noexcept {
  Slot& own = slots_[slot];
  // Cleared before busy is looked at, as the callback counts itself busy before it reads
  // reader: one that found the reader is then seen busy.
  own.reader.store(nullptr);
  waitIdle(slot);
  std::lock_guard guard(lock_);
  if (usable() && own.connected && own.port.load() != nullptr)
    jack_port_disconnect(link_->jack, own.port.load());
  own.taken = false;
  own.connected = false;
  own.source.clear();
}

uint64_t ProcessClient::attachSound(AudioRenderer& renderer) {
  std::lock_guard guard(lock_);
  if (!usable() || renderer_.load() != nullptr) return 0;
  withSound_ = true;
  const bool fresh = outputs_[0].load() == nullptr;
  if (!registerOutputs()) return 0;
  if (fresh || (jack_port_connected(outputs_[0].load()) == 0 &&
                jack_port_connected(outputs_[1].load()) == 0))
    joinPlaybackPorts();
  renderer_.store(&renderer);
  return generation();
}

void ProcessClient::detachSound(AudioRenderer& renderer) noexcept {
  AudioRenderer* own = &renderer;
  renderer_.compare_exchange_strong(own, nullptr);
  while (rendering_.load() != 0) sleepAWhile();
}

bool ProcessClient::registerOutputs() noexcept {
  for (std::size_t i = 0; i < outputs_.size(); ++i) {
    if (outputs_[i].load() != nullptr) continue;
    outputs_[i].store(
        jack_port_register(link_->jack, kOutputs[i], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0));
    if (outputs_[i].load() == nullptr) return false;
  }
  return true;
}

void ProcessClient::joinPlaybackPorts() noexcept {
  const char** playback = jack_get_ports(link_->jack, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                         JackPortIsPhysical | JackPortIsInput);
  if (playback == nullptr) return;
  for (std::size_t i = 0; i < outputs_.size() && playback[i] != nullptr; ++i)
    jack_connect(link_->jack, jack_port_name(outputs_[i].load()), playback[i]);
  jack_free(playback);
}

void ProcessClient::waitIdle(std::size_t slot) const noexcept {
  while (slots_[slot].busy.load() != 0) sleepAWhile();
}

int ProcessClient::process(jack_nframes_t frames, void* link) noexcept {
  const auto& own = *static_cast<const Link*>(link);
  ProcessClient& client = *own.owner;
  // A client left behind reads nothing: its ports may belong to the next one by now.
  if (client.live_.load(std::memory_order_acquire) != &own) return 0;
  if (!client.threadKnown_.load(std::memory_order_relaxed)) {
    client.thread_.store(pthread_self(), std::memory_order_relaxed);
    client.threadKnown_.store(true, std::memory_order_release);
  }
  const jack_nframes_t cycleStart = jack_last_frame_time(own.jack);
  client.cycleStart_.store(cycleStart, std::memory_order_release);
  for (Slot& slot : client.slots_) {
    slot.busy.fetch_add(1);
    // Looked at again once counted busy, so that whoever leaves the link and then finds the
    // slot idle knows this callback will not read it.
    if (client.live_.load() == &own) client.read(slot, frames, cycleStart);
    slot.busy.fetch_sub(1);  // the last touch of the reader: a closer may free it right after
  }
  client.rendering_.fetch_add(1);
  if (client.live_.load() == &own) client.renderSound(frames, cycleStart);
  client.rendering_.fetch_sub(1);
  client.count_.fetch_add(1, std::memory_order_acq_rel);
  return 0;
}

void ProcessClient::renderSound(jack_nframes_t frames, jack_nframes_t cycleStart) noexcept {
  jack_port_t* left = outputs_[0].load();
  jack_port_t* right = outputs_[1].load();
  if (left == nullptr || right == nullptr) return;
  auto* l = static_cast<float*>(jack_port_get_buffer(left, frames));
  auto* r = static_cast<float*>(jack_port_get_buffer(right, frames));
  if (AudioRenderer* renderer = renderer_.load()) {
    renderer->render(l, r, frames, cycleStart);
    return;
  }
  // An output buffer nobody writes holds whatever was there before.
  std::fill_n(l, frames, 0.0f);
  std::fill_n(r, frames, 0.0f);
}

void ProcessClient::read(Slot& slot, jack_nframes_t frames, jack_nframes_t cycleStart) noexcept {
  MidiReader* reader = slot.reader.load();
  jack_port_t* port = slot.port.load();
  if (reader == nullptr || port == nullptr) return;
  void* buffer = jack_port_get_buffer(port, frames);
  const uint32_t events = jack_midi_get_event_count(buffer);
  for (uint32_t i = 0; i < events; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, buffer, i) == 0)
      reader->received(event.buffer, event.size, cycleStart + event.time);
  }
}

void ProcessClient::shutdown(jack_status_t code, const char*, void* link) noexcept {
  auto& own = *static_cast<Link*>(link);
  // A client the server dropped for being too slow is closed as ever; the server lives on.
  if ((code & JackClientZombie) != 0) own.dropped.store(true, std::memory_order_release);
  own.gone.store(true, std::memory_order_release);
  wake();
}

int ProcessClient::rateChanged(jack_nframes_t rate, void* link) noexcept {
  static_cast<Link*>(link)->owner->rate_.store(rate, std::memory_order_release);
  return 0;
}

int ProcessClient::periodChanged(jack_nframes_t frames, void* link) noexcept {
  static_cast<Link*>(link)->owner->period_.store(frames, std::memory_order_release);
  return 0;
}

}  // namespace varnkit::jack
