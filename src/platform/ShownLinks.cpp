#include "platform/ShownLinks.h"

#include <chrono>
#include <system_error>

#include "platform/DesktopFiles.h"

namespace wl {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLinkFolder = ".weekleaf-shown";

bool IsLink(const fs::path& path) {
    return path.parent_path().parent_path().filename() == kLinkFolder;
}

// Removes every serial folder under `linkRoot` but `keep` (empty: all, and the root itself).
void Prune(const fs::path& linkRoot, const fs::path& keep) {
    std::error_code ec;
    if (!fs::is_directory(linkRoot, ec)) return;
    for (const auto& entry : fs::directory_iterator(linkRoot, ec)) {
        if (entry.path() == keep) continue;
        std::error_code ignored;
        fs::remove_all(entry.path(), ignored);
    }
    if (keep.empty()) fs::remove(linkRoot, ec);
}

}  // namespace

fs::path OriginalOf(const fs::path& shown) {
    if (!IsLink(shown)) return shown;
    return shown.parent_path().parent_path().parent_path() / shown.filename();
}

fs::path NameToShow(const fs::path& file, const fs::path& shown) {
    if (OriginalOf(shown) != file || !IsPictureFile(file)) return file;
    const auto serial = std::chrono::system_clock::now().time_since_epoch().count();
    const fs::path dir = file.parent_path() / kLinkFolder / std::to_string(serial);
    fs::create_directories(dir);
    const fs::path link = dir / file.filename();
    std::error_code ec;
    fs::create_hard_link(file, link, ec);
    if (ec) CopyPictureFile(file, link);
    return link;
}

void ForgetOldLinks(const fs::path& named, const fs::path& previous) {
    if (IsLink(named)) {
        Prune(named.parent_path().parent_path(), named.parent_path());
        return;
    }
    if (IsLink(previous)) Prune(previous.parent_path().parent_path(), {});
}

}  // namespace wl
