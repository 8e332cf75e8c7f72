#pragma once
// Hot keys that only remember what is registered; Press() plays a key for tests.
#include "platform/HotKeys.h"

namespace wl {

class MemoryHotKeys : public IHotKeys {
  public:
    std::vector<int> Register(const HotKeyChars& keys) override;
    void Unregister() override { FKeys = {}; }

    // The registered character of an identifier, 0 when none.
    char32_t Registered(int id) const { return id >= 0 && id < 5 ? FKeys[id] : 0; }
    // Makes Way() answer as a real backend of `way` would, after a failed registration when `failed`.
    void Pretend(THotKeyWay way, bool failed = false) {
        Provides(way);
        Failed(failed);
    }
    // Presses Ctrl + c: runs OnHotKey for the identifier registered with it; false when none is.
    bool Press(char32_t c);

  private:
    HotKeyChars FKeys{};
};

}  // namespace wl
