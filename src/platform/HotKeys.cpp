#include "platform/HotKeys.h"

#include <cstdlib>

#include "platform/X11HotKeys.h"

namespace wl {
namespace {

// No window system to register with (offscreen, no DISPLAY): nothing is registered.
class TNoHotKeys : public IHotKeys {
  public:
    explicit TNoHotKeys(std::string why) : FWhy(std::move(why)) {}
    std::vector<int> Register(const HotKeyChars&) override {
        if (!FSaid) Report("HotKey.Register: " + FWhy + ", no hot keys");
        FSaid = true;
        return {};
    }
    void Unregister() override {}

  private:
    std::string FWhy;
    bool FSaid = false;
};

}  // namespace

char32_t HotKeyFold(char32_t c) {
    return c >= U'a' && c <= U'z' ? c - U'a' + U'A' : c;
}

std::unique_ptr<IHotKeys> MakeHotKeys(std::function<void(const std::string&)> log) {
    std::unique_ptr<IHotKeys> keys;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        keys = std::make_unique<TNoHotKeys>("no X display");
    } else {
        try {
            keys = std::make_unique<X11HotKeys>();
        } catch (const std::exception& e) {
            keys = std::make_unique<TNoHotKeys>(e.what());
        }
    }
    keys->Log = std::move(log);
    return keys;
}

}  // namespace wl
