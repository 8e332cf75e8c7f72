#include "platform/GnomeDesktop.h"

#include <gio/gio.h>

#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "platform/AtomicFile.h"
#include "platform/DesktopFiles.h"
#include "platform/ShownLinks.h"

namespace wl {

namespace fs = std::filesystem;

namespace {

constexpr const char* kStretched = "stretched";

std::string TakeGString(gchar* text) {
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

std::string UriToPath(const std::string& uri) {
    GError* error = nullptr;
    gchar* path = g_filename_from_uri(uri.c_str(), nullptr, &error);
    if (error) g_error_free(error);
    return TakeGString(path);
}

std::string PathToUri(const fs::path& file) {
    GError* error = nullptr;
    gchar* uri = g_filename_to_uri(file.c_str(), nullptr, &error);
    if (!uri) {
        const std::string message = error ? error->message : "invalid path";
        if (error) g_error_free(error);
        throw std::runtime_error("cannot make a URI of \"" + file.string() + "\": " + message);
    }
    return TakeGString(uri);
}

GSettingsSchema* LookupSchema(const std::string& id) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    return source ? g_settings_schema_source_lookup(source, id.c_str(), TRUE) : nullptr;
}

bool HasKey(GSettingsSchema* schema, const std::string& key) {
    return !key.empty() && g_settings_schema_has_key(schema, key.c_str());
}

}  // namespace

GSettingsProfile GnomeProfile() {
    return {"gnome", "org.gnome.desktop.background", "picture-uri", "picture-uri-dark", "picture-options",
            false};
}
GSettingsProfile CinnamonProfile() {
    return {"cinnamon", "org.cinnamon.desktop.background", "picture-uri", "", "picture-options", false};
}
GSettingsProfile MateProfile() {
    return {"mate", "org.mate.background", "picture-filename", "", "picture-options", true};
}

bool GSettingsProfileAvailable(const GSettingsProfile& profile) {
    GSettingsSchema* schema = LookupSchema(profile.schema);
    if (!schema) return false;
    const bool ok = HasKey(schema, profile.pictureKey) && HasKey(schema, profile.optionsKey);
    g_settings_schema_unref(schema);
    return ok;
}

struct GnomeDesktop::Settings {
    GSettingsSchema* schema = nullptr;
    GSettings* settings = nullptr;
    ~Settings() {
        if (settings) g_object_unref(settings);
        if (schema) g_settings_schema_unref(schema);
    }
};

GnomeDesktop::GnomeDesktop(GSettingsProfile profile) : FProfile(std::move(profile)), FSettings(new Settings) {
    if (!GSettingsProfileAvailable(FProfile))
        throw std::runtime_error("GSettings schema \"" + FProfile.schema + "\" is not installed");
    FSettings->schema = LookupSchema(FProfile.schema);
    FSettings->settings = g_settings_new_full(FSettings->schema, nullptr, nullptr);
    if (!HasKey(FSettings->schema, FProfile.darkKey)) FProfile.darkKey.clear();
}

GnomeDesktop::~GnomeDesktop() = default;

std::string GnomeDesktop::PictureKeyValue() {
    std::lock_guard lock(FLock);
    return TakeGString(g_settings_get_string(FSettings->settings, FProfile.pictureKey.c_str()));
}

std::string GnomeDesktop::ShownFile() {
    const std::string value = PictureKeyValue();
    return FProfile.keyHoldsPath ? value : UriToPath(value);
}

std::string GnomeDesktop::CurrentWallpaperFile() {
    const std::string shown = ShownFile();
    return shown.empty() ? shown : OriginalOf(shown).string();
}

void GnomeDesktop::WritePicture(const fs::path& file) {
    const std::string value = FProfile.keyHoldsPath ? file.string() : PathToUri(file);
    std::lock_guard lock(FLock);
    GSettings* s = FSettings->settings;
    bool ok = g_settings_set_string(s, FProfile.optionsKey.c_str(), kStretched);
    ok = g_settings_set_string(s, FProfile.pictureKey.c_str(), value.c_str()) && ok;
    if (!FProfile.darkKey.empty())
        ok = g_settings_set_string(s, FProfile.darkKey.c_str(), value.c_str()) && ok;
    g_settings_sync();
    if (!ok) throw std::runtime_error("GSettings refused the wallpaper keys of \"" + FProfile.schema + "\"");
}

void GnomeDesktop::ShowWallpaper(const std::string& path) {
    std::error_code ec;
    const fs::path file = fs::absolute(path, ec).lexically_normal();
    const fs::path shown = ShownFile();
    const fs::path named = NameToShow(file, shown);
    WritePicture(named);
    ForgetOldLinks(named, shown);
}

fs::path GnomeDesktop::SystemSource() {
    const fs::path shown = ShownFile();
    if (IsPictureFile(shown)) return shown;
    std::string fallback;
    {
        std::lock_guard lock(FLock);
        GVariant* value = g_settings_get_default_value(FSettings->settings, FProfile.pictureKey.c_str());
        if (value) {
            fallback = g_variant_get_string(value, nullptr);
            g_variant_unref(value);
        }
    }
    const fs::path file = FProfile.keyHoldsPath ? fallback : UriToPath(fallback);
    return IsPictureFile(file) ? file : fs::path();
}

std::string GnomeDesktop::SystemWallpaperCopyName() {
    const fs::path source = SystemSource();
    if (!source.empty()) return ShownPictureName(source);
    return ShownPictureName(ShownFile());
}

fs::path GnomeDesktop::SaveSystemWallpaperCopy(const fs::path& folder) {
    const fs::path source = SystemSource();
    if (source.empty())
        throw std::runtime_error("the desktop's picture \"" + ShownFile() +
                                 "\" does not exist and there is no default");
    return CopyShownPicture(source, folder);
}

}  // namespace wl
