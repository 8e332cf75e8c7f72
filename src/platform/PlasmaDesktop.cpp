#include "platform/PlasmaDesktop.h"

#include <gio/gio.h>

#include <stdexcept>

#include "platform/DesktopFiles.h"
#include "platform/ShownLinks.h"

namespace wl {

namespace fs = std::filesystem;

namespace {

constexpr const char* kService = "org.kde.plasmashell";
constexpr const char* kObject = "/PlasmaShell";
constexpr const char* kInterface = "org.kde.PlasmaShell";
constexpr int kTimeoutMs = 10000;

// A JSON string literal (also a valid JavaScript one) of UTF-8 text.
std::string JsString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    // U+2028 and U+2029 end a line in older JavaScript; escape them too.
    for (const char* separator : {"\xE2\x80\xA8", "\xE2\x80\xA9"}) {
        for (size_t at = out.find(separator); at != std::string::npos; at = out.find(separator, at))
            out.replace(at, 3, separator[2] == '\xA8' ? "\\u2028" : "\\u2029");
    }
    return out + "\"";
}

std::string FileUrl(const fs::path& file) {
    gchar* uri = g_filename_to_uri(file.c_str(), nullptr, nullptr);
    if (!uri) throw std::runtime_error("cannot make a URL of \"" + file.string() + "\"");
    std::string result = uri;
    g_free(uri);
    return result;
}

std::string UrlToPath(const std::string& url) {
    if (url.rfind("file:", 0) != 0) return url;  // Plasma also accepts plain paths
    gchar* path = g_filename_from_uri(url.c_str(), nullptr, nullptr);
    std::string result = path ? path : "";
    g_free(path);
    return result;
}

std::string Trim(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

}  // namespace

PlasmaDesktop::PlasmaDesktop() {
    GError* error = nullptr;
    FBus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!FBus) {
        const std::string message = error ? error->message : "no session bus";
        if (error) g_error_free(error);
        throw std::runtime_error(message);
    }
    GVariant* owner = g_dbus_connection_call_sync(FBus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "NameHasOwner",
                                                  g_variant_new("(s)", kService), G_VARIANT_TYPE("(b)"),
                                                  G_DBUS_CALL_FLAGS_NONE, kTimeoutMs, nullptr, nullptr);
    gboolean has = FALSE;
    if (owner) {
        g_variant_get(owner, "(b)", &has);
        g_variant_unref(owner);
    }
    if (!has) {
        g_object_unref(FBus);
        FBus = nullptr;
        throw std::runtime_error("no Plasma shell on the session bus");
    }
}

PlasmaDesktop::~PlasmaDesktop() {
    if (FBus) g_object_unref(FBus);
}

std::string PlasmaDesktop::ShowScript(const fs::path& file) {
    return "var ds = desktops();\n"
           "for (var i = 0; i < ds.length; i++) {\n"
           "  var d = ds[i];\n"
           "  d.wallpaperPlugin = \"org.kde.image\";\n"
           "  d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
           "  d.writeConfig(\"Image\", " +
           JsString(FileUrl(file)) +
           ");\n"
           "  d.writeConfig(\"FillMode\", 0);\n"  // 0: stretched to the screen
           "}\n";
}

std::string PlasmaDesktop::ReadScript() {
    return "var ds = desktops();\n"
           "if (ds.length > 0) {\n"
           "  ds[0].currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
           "  print(ds[0].readConfig(\"Image\"));\n"
           "}\n";
}

std::string PlasmaDesktop::Evaluate(const std::string& script) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(FBus, kService, kObject, kInterface, "evaluateScript",
                                                  g_variant_new("(s)", script.c_str()), nullptr,
                                                  G_DBUS_CALL_FLAGS_NONE, kTimeoutMs, nullptr, &error);
    if (!reply) {
        const std::string message = error ? error->message : "no reply";
        if (error) g_error_free(error);
        throw std::runtime_error("Plasma shell script failed: " + message);
    }
    std::string out;
    if (g_variant_is_of_type(reply, G_VARIANT_TYPE("(s)"))) {
        const gchar* text = nullptr;
        g_variant_get(reply, "(&s)", &text);
        out = text ? text : "";
    }
    g_variant_unref(reply);
    return out;
}

std::string PlasmaDesktop::ShownFile() {
    try {
        return UrlToPath(Trim(Evaluate(ReadScript())));
    } catch (const std::exception&) {
        return {};
    }
}

std::string PlasmaDesktop::CurrentWallpaperFile() {
    const std::string shown = ShownFile();
    return shown.empty() ? shown : OriginalOf(shown).string();
}

void PlasmaDesktop::ShowWallpaper(const std::string& path) {
    std::error_code ec;
    const fs::path file = fs::absolute(path, ec).lexically_normal();
    const fs::path shown = ShownFile();
    const fs::path named = NameToShow(file, shown);
    Evaluate(ShowScript(named));
    ForgetOldLinks(named, shown);
}

std::string PlasmaDesktop::SystemWallpaperCopyName() {
    return ShownPictureName(ShownFile());
}

fs::path PlasmaDesktop::SaveSystemWallpaperCopy(const fs::path& folder) {
    return CopyShownPicture(ShownFile(), folder);
}

}  // namespace wl
