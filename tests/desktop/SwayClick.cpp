// A left click at a point of a headless compositor's output layout, for tests that drive the
// program as a person would: a headless sway has no pointer, so this adds a virtual one (the
// compositor's virtual pointer protocol), moves it, presses and releases the left button, and
// goes. Usage: wl_sway_click X Y WIDTH HEIGHT (the layout's size); WAYLAND_DISPLAY and
// XDG_RUNTIME_DIR name the compositor. Exit status 0 when the click was sent.
//
// The protocol's two interfaces are written out here (only the requests used, which come first in
// their interfaces), so no protocol files or generator are needed.
#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

const wl_interface* kNoTypes[8] = {};

const wl_message kPointerRequests[] = {
    {"motion", "uff", kNoTypes}, {"motion_absolute", "uuuuu", kNoTypes},
    {"button", "uuu", kNoTypes}, {"axis", "uuf", kNoTypes},
    {"frame", "", kNoTypes},
};
const wl_interface kPointer = {"zwlr_virtual_pointer_v1", 1, 5, kPointerRequests, 0, nullptr};

const wl_interface* kCreateTypes[] = {&wl_seat_interface, &kPointer};
const wl_message kManagerRequests[] = {
    {"create_virtual_pointer", "?on", kCreateTypes},
    {"destroy", "", kNoTypes},
};
const wl_interface kManager = {"zwlr_virtual_pointer_manager_v1", 1, 2, kManagerRequests, 0, nullptr};

enum : uint32_t { kMotionAbsolute = 1, kButton = 2, kFrame = 4 };

struct Globals {
    wl_seat* seat = nullptr;
    wl_proxy* manager = nullptr;
};

void Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* g = static_cast<Globals*>(data);
    if (std::strcmp(interface, "wl_seat") == 0 && !g->seat)
        g->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    if (std::strcmp(interface, kManager.name) == 0 && !g->manager)
        g->manager = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &kManager, 1));
}
void GlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry = {Global, GlobalRemove};

uint32_t Millis() {
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Lets the client see the change (a new pointer, a focus) before the next step.
void Settle(wl_display* display) {
    wl_display_roundtrip(display);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    wl_display_roundtrip(display);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s X Y WIDTH HEIGHT\n", argv[0]);
        return 2;
    }
    const uint32_t x = uint32_t(std::atoi(argv[1])), y = uint32_t(std::atoi(argv[2]));
    const uint32_t width = uint32_t(std::atoi(argv[3])), height = uint32_t(std::atoi(argv[4]));
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no compositor\n");
        return 1;
    }
    Globals g;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistry, &g);
    wl_display_roundtrip(display);
    if (!g.seat || !g.manager) {
        std::fprintf(stderr, "the compositor offers no virtual pointer\n");
        return 1;
    }
    wl_proxy* pointer = wl_proxy_marshal_constructor(g.manager, 0, &kPointer, g.seat, nullptr);
    Settle(display);  // the seat gains a pointer; clients bind theirs
    wl_proxy_marshal(pointer, kMotionAbsolute, Millis(), x, y, width, height);
    wl_proxy_marshal(pointer, kFrame);
    Settle(display);
    for (const uint32_t state : {1u, 0u}) {
        wl_proxy_marshal(pointer, kButton, Millis(), uint32_t(BTN_LEFT), state);
        wl_proxy_marshal(pointer, kFrame);
        wl_display_roundtrip(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    Settle(display);
    wl_display_disconnect(display);
    return 0;
}
