#pragma once
// Desktops that cache a background by its file (GNOME's shell keys its picture cache by GFile,
// xfdesktop and Plasma by path or URL) would keep showing the old content of a picture rewritten
// under the same name, and some settings backends do not even notify when a key is set to the
// value it already holds (GLib's memory backend does not; its keyfile backend does). Changing the
// URI alone does not help: GLib maps "file:///a.bmp#2" to the same file as "file:///a.bmp"
// (g_file_equal is true), so a cache keyed by file still hits, and "file:///a.bmp?2" names a file
// "/a.bmp?2" that does not exist. A re-show
// therefore names a hard link of the file (a copy where links are impossible) in a hidden folder
// beside it, "<dir>/.weekleaf-shown/<serial>/<name>": a new file for the desktop each time,
// holding exactly the content that was asked for, at no disk cost. Older links are removed once
// the desktop names the new one.
#include <filesystem>

namespace wl {

// The name to give the desktop for `file` when it names `shown` now: `file` itself, or a fresh
// link when `shown` is `file` or a link of it. Throws when a link is needed and cannot be made.
std::filesystem::path NameToShow(const std::filesystem::path& file, const std::filesystem::path& shown);

// After the desktop was pointed at `named` (it named `previous` before): removes the links no
// longer named.
void ForgetOldLinks(const std::filesystem::path& named, const std::filesystem::path& previous);

// "<dir>/.weekleaf-shown/<serial>/<name>" -> "<dir>/<name>"; any other path unchanged.
std::filesystem::path OriginalOf(const std::filesystem::path& shown);

}  // namespace wl
