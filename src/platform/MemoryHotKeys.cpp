#include "platform/MemoryHotKeys.h"

namespace wl {

std::vector<int> MemoryHotKeys::Register(const HotKeyChars& keys) {
    std::vector<int> ids;
    for (int id = 0; id < 5; ++id) {
        if (keys[id] == 0) {
            Report("HotKey.Register: no key for " + std::to_string(id));
            continue;
        }
        FKeys[id] = HotKeyFold(keys[id]);
        ids.push_back(id);
    }
    return ids;
}

bool MemoryHotKeys::Press(char32_t c) {
    for (int id = 0; id < 5; ++id) {
        if (FKeys[id] == 0 || FKeys[id] != HotKeyFold(c)) continue;
        if (OnHotKey) OnHotKey(id);
        return true;
    }
    return false;
}

}  // namespace wl
