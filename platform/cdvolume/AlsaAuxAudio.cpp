#include <alsa/asoundlib.h>

#include <string>
#include <vector>

#include "platform/cdvolume/AuxAudio.h"

namespace cdvolume {
namespace {

// An open mixer of one card, closed with this object.
class TMixer {
 public:
  explicit TMixer(int card) {
    std::string name = "hw:" + std::to_string(card);
    if (snd_mixer_open(&mixer_, 0) < 0) {
      mixer_ = nullptr;
      return;
    }
    if (snd_mixer_attach(mixer_, name.c_str()) < 0 ||
        snd_mixer_selem_register(mixer_, nullptr, nullptr) < 0 || snd_mixer_load(mixer_) < 0) {
      snd_mixer_close(mixer_);
      mixer_ = nullptr;
    }
  }
  ~TMixer() {
    if (mixer_) snd_mixer_close(mixer_);
  }
  TMixer(const TMixer&) = delete;
  TMixer& operator=(const TMixer&) = delete;

  // The playback control named "CD", or null.
  snd_mixer_elem_t* CdControl() {
    if (!mixer_) return nullptr;
    snd_mixer_selem_id_t* id;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_name(id, "CD");
    snd_mixer_selem_id_set_index(id, 0);
    snd_mixer_elem_t* elem = snd_mixer_find_selem(mixer_, id);
    return elem && snd_mixer_selem_has_playback_volume(elem) ? elem : nullptr;
  }

 private:
  snd_mixer_t* mixer_ = nullptr;
};

uint16_t ToWord(long value, long min, long max) {
  if (max <= min) return 0;
  return static_cast<uint16_t>((value - min) * 65535 / (max - min));
}

long FromWord(uint16_t word, long min, long max) {
  return min + (max - min) * word / 65535;
}

class TAlsaAuxAudio : public TAuxAudio {
 public:
  TAlsaAuxAudio() {
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) cards_.push_back(card);
  }

  int NumDevs() override { return static_cast<int>(cards_.size()); }

  bool IsCdAudio(int device) override {
    TMixer mixer(cards_.at(device));
    return mixer.CdControl() != nullptr;
  }

  uint32_t GetVolume(int device) override {
    TMixer mixer(cards_.at(device));
    snd_mixer_elem_t* cd = mixer.CdControl();
    if (!cd) return 0;
    long min = 0, max = 0, left = 0, right = 0;
    snd_mixer_selem_get_playback_volume_range(cd, &min, &max);
    snd_mixer_selem_get_playback_volume(cd, SND_MIXER_SCHN_FRONT_LEFT, &left);
    if (snd_mixer_selem_get_playback_volume(cd, SND_MIXER_SCHN_FRONT_RIGHT, &right) < 0)
      right = left;
    return ToWord(left, min, max) | (static_cast<uint32_t>(ToWord(right, min, max)) << 16);
  }

  void SetVolume(int device, uint32_t volume) override {
    TMixer mixer(cards_.at(device));
    snd_mixer_elem_t* cd = mixer.CdControl();
    if (!cd) return;
    long min = 0, max = 0;
    snd_mixer_selem_get_playback_volume_range(cd, &min, &max);
    snd_mixer_selem_set_playback_volume(cd, SND_MIXER_SCHN_FRONT_LEFT,
                                        FromWord(volume & 0xFFFF, min, max));
    snd_mixer_selem_set_playback_volume(cd, SND_MIXER_SCHN_FRONT_RIGHT,
                                        FromWord(volume >> 16, min, max));
  }

 private:
  std::vector<int> cards_;
};

}  // namespace

std::unique_ptr<TAuxAudio> MakeAlsaAuxAudio() {
  return std::make_unique<TAlsaAuxAudio>();
}

}  // namespace cdvolume
