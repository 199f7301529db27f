#pragma once
// The program's one sound device and its primary buffer, alive for the whole run.

#include <cstdint>
#include <memory>

#include "platform/audio/Device.h"
#include "platform/audio/DirectX7.h"
#include "platform/audio/PrimaryBuffer.h"

namespace varnkit {

// Opens the default sound device for the window with priority access and sets the primary
// format to 16-bit stereo PCM at 44100 Hz. Raises varnkit::Error when any step fails.
// User-interface thread; once per run, before any layer is made.
void InitSound(uint32_t hWnd);

// The device every layer makes its buffer on; null before InitSound. User-interface thread.
audio::Device* SoundDevice();

// The primary buffer InitSound made; null before it. User-interface thread.
audio::PrimaryBuffer* PrimaryBuffer();

// The root object InitSound uses when it has none of its own yet: tests and tools give it
// one that opens an offline device. User-interface thread, before InitSound.
void SetDirectX7(std::unique_ptr<audio::DirectX7> root);

// Stops the stream and lets go of the device, the primary buffer and the root object.
// User-interface thread, at the end of the run after every layer is gone.
void CloseSound();

}  // namespace varnkit
