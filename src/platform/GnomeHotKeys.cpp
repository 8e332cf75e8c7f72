#include "platform/GnomeHotKeys.h"

#include <gio/gio.h>

#include <algorithm>
#include <stdexcept>

#include "platform/TextCase.h"

namespace wl {

namespace {

constexpr const char* kListSchema = "org.gnome.settings-daemon.plugins.media-keys";
constexpr const char* kEntrySchema = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
constexpr const char* kEntryFolder = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/";
constexpr const char* kOurPrefix = "weekleaf-";

bool SchemaInstalled(const char* id) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return false;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, id, TRUE);
    if (!schema) return false;
    g_settings_schema_unref(schema);
    return true;
}

// A GSettings object that is released with its scope.
class Settings {
  public:
    explicit Settings(const char* schema) : FSettings(g_settings_new(schema)) {}
    Settings(const char* schema, const std::string& path)
        : FSettings(g_settings_new_with_path(schema, path.c_str())) {}
    ~Settings() { g_object_unref(FSettings); }
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    std::string String(const char* key) const {
        gchar* value = g_settings_get_string(FSettings, key);
        std::string text = value ? value : "";
        g_free(value);
        return text;
    }
    void SetString(const char* key, const std::string& value) {
        g_settings_set_string(FSettings, key, value.c_str());
    }
    void Reset(const char* key) { g_settings_reset(FSettings, key); }

    std::vector<std::string> Strings(const char* key) const {
        gchar** values = g_settings_get_strv(FSettings, key);
        std::vector<std::string> list;
        for (gchar** v = values; v && *v; ++v) list.emplace_back(*v);
        g_strfreev(values);
        return list;
    }
    void SetStrings(const char* key, const std::vector<std::string>& list) {
        std::vector<const gchar*> values;
        for (const auto& s : list) values.push_back(s.c_str());
        values.push_back(nullptr);
        g_settings_set_strv(FSettings, key, values.data());
    }

  private:
    GSettings* FSettings;
};

bool IsOurs(const std::string& path) {
    return path.rfind(std::string(kEntryFolder) + kOurPrefix, 0) == 0;
}

// "<Primary>", "<Ctrl>" and "<Control>" are one modifier to GNOME; modifiers sorted, key lower case.
std::string Normalised(const std::string& accelerator) {
    std::vector<std::string> modifiers;
    std::size_t at = 0;
    while (at < accelerator.size() && accelerator[at] == '<') {
        const std::size_t close = accelerator.find('>', at);
        if (close == std::string::npos) break;
        std::string modifier = LowerText(accelerator.substr(at + 1, close - at - 1));
        if (modifier == "primary" || modifier == "ctrl") modifier = "control";
        modifiers.push_back(modifier);
        at = close + 1;
    }
    std::sort(modifiers.begin(), modifiers.end());
    std::string joined;
    for (const auto& m : modifiers) joined += "<" + m + ">";
    return joined + LowerText(accelerator.substr(at));
}

// The accelerators the user's own shortcuts use.
std::vector<std::string> UsersAccelerators(const std::vector<std::string>& entries) {
    std::vector<std::string> used;
    for (const auto& path : entries) {
        if (IsOurs(path)) continue;
        used.push_back(Settings(kEntrySchema, path).String("binding"));
    }
    return used;
}

}  // namespace

bool GnomeHotKeys::Available() {
    return SchemaInstalled(kListSchema) && SchemaInstalled(kEntrySchema);
}

GnomeHotKeys::GnomeHotKeys(std::function<std::string(int id)> command) : FCommand(std::move(command)) {
    Provides(THotKeyWay::GnomeShortcuts);
    if (!Available()) throw std::runtime_error("GNOME's keyboard shortcut schemas are not installed");
}

GnomeHotKeys::~GnomeHotKeys() {
    Unregister();
}

std::string GnomeHotKeys::Accelerator(char32_t c) {
    const char key = LatinKey(c);
    return key ? "<Control>" + std::string(1, key) : "";
}

bool GnomeHotKeys::SameAccelerator(const std::string& a, const std::string& b) {
    return Normalised(a) == Normalised(b);
}

std::string GnomeHotKeys::EntryPath(int id) {
    return std::string(kEntryFolder) + kOurPrefix + std::to_string(id) + "/";
}

std::vector<int> GnomeHotKeys::Register(const HotKeyChars& keys) {
    Settings list(kListSchema);
    std::vector<std::string> entries = list.Strings("custom-keybindings");
    const std::vector<std::string> used = UsersAccelerators(entries);
    std::vector<int> registered;
    for (int id = 0; id < static_cast<int>(keys.size()); ++id) {
        if (keys[id] == 0) continue;
        const std::string accelerator = Accelerator(keys[id]);
        if (accelerator.empty()) {
            Report("HotKey.Register: key " + std::to_string(id) + " has no GNOME shortcut, skipped");
            continue;
        }
        const bool taken = std::any_of(used.begin(), used.end(),
                                       [&](const std::string& u) { return SameAccelerator(u, accelerator); });
        if (taken) {
            Report("HotKey.Register: " + accelerator +
                   " is one of the user's own shortcuts already, skipped");
            continue;
        }
        Settings entry(kEntrySchema, EntryPath(id));
        entry.SetString("name", "Weekleaf " + std::to_string(id));
        entry.SetString("command", FCommand(id));
        entry.SetString("binding", accelerator);
        if (std::find(entries.begin(), entries.end(), EntryPath(id)) == entries.end())
            entries.push_back(EntryPath(id));
        registered.push_back(id);
    }
    list.SetStrings("custom-keybindings", entries);
    g_settings_sync();
    return registered;
}

void GnomeHotKeys::Unregister() {
    Settings list(kListSchema);
    std::vector<std::string> entries = list.Strings("custom-keybindings");
    const auto ours = std::stable_partition(entries.begin(), entries.end(),
                                            [](const std::string& path) { return !IsOurs(path); });
    if (ours == entries.end()) return;
    for (auto it = ours; it != entries.end(); ++it) {
        Settings entry(kEntrySchema, *it);
        for (const char* key : {"name", "command", "binding"}) entry.Reset(key);
    }
    entries.erase(ours, entries.end());
    list.SetStrings("custom-keybindings", entries);
    g_settings_sync();
}

}  // namespace wl
