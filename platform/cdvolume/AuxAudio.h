// The auxiliary-audio devices of the machine as the CD volume component
// sees them: here, the sound cards, each a CD-audio device when its mixer
// has a playback control named "CD".
#pragma once

#include <cstdint>
#include <memory>

namespace cdvolume {

class TAuxAudio {
 public:
  virtual ~TAuxAudio() = default;
  virtual int NumDevs() = 0;
  // True when the device carries CD audio.
  virtual bool IsCdAudio(int device) = 0;
  // Left volume in the low 16 bits, right in the high 16 bits, 0..65535.
  virtual uint32_t GetVolume(int device) = 0;
  virtual void SetVolume(int device, uint32_t volume) = 0;
};

// The ALSA mixer. A machine without sound cards has no devices.
std::unique_ptr<TAuxAudio> MakeAlsaAuxAudio();

}  // namespace cdvolume
