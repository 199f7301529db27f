#pragma once
// One pad of the kit: number, name, root key, mute group and its velocity layers.

#include <cstdint>
#include <memory>
#include <string>

#include "kit/Collection.h"
#include "kit/Layer.h"

namespace varnkit {

class KitState;

// All members: user-interface thread.
class preset {
 public:
  explicit preset(KitState& state) : state_(state) {}
  preset(const preset&) = delete;
  preset& operator=(const preset&) = delete;

  int32_t offset = 0;  // kept from kit files only
  int32_t lenght = 0;  // kept from kit files only
  int32_t RootKey = 0;
  std::string mPAD;
  int32_t KeyStart = 0;  // kept from kit files only
  int32_t KeyEnd = 0;    // kept from kit files only
  int32_t mGrp = 0;
  int32_t Voices = 0;  // 1 when the last group set was above 0
  int32_t Index = 0;   // the pad number, 0 to 8

  // Sets the group and keeps the mute-group lists and the group indicator in step.
  void Grp(int32_t nval);
  int32_t Grp() const { return mGrp; }
  // Sets the name and the pad's tooltip.
  void PAD(const std::string& nval);
  const std::string& PAD() const { return mPAD; }
  // Sets the name only.
  void SetPad(const std::string& nval) { mPAD = nval; }
  // Silences the pad and resets it to number indx, root key RKey, name PadName, group Group,
  // and no layers.
  void Clear(int32_t indx, int32_t RKey, const std::string& PadName, int32_t Group);
  // Makes a layer for the sample path/filename and appends it; null when the file does not
  // exist. The layer stays owned by the pad.
  Layer* add(int32_t VelStart, double VolLeft, double Volright, const std::string& filename,
             const std::string& path);
  // The layer at position 1..Count or under a key; null when there is none.
  Layer* Item(int32_t position);
  Layer* Item(const std::string& key);
  int32_t Count() const { return layers_.Count(); }
  // Removes the layer at position 1..Count (Error 9) or under a key (Error 5).
  void Remove(int32_t position) { layers_.Remove(position); }
  void Remove(const std::string& key) { layers_.Remove(key); }

  // The layers in collection order.
  const Collection<std::unique_ptr<Layer>>& layers() const { return layers_; }
  KitState& state() { return state_; }

 private:
  KitState& state_;
  Collection<std::unique_ptr<Layer>> layers_;
};

}  // namespace varnkit
