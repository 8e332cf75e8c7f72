#include "platform/DesktopFiles.h"

#include <stdexcept>
#include <system_error>

#include "platform/AtomicFile.h"
#include "platform/ShownLinks.h"

namespace wl {

namespace {
// A wallpaper larger than this is not a picture anyone uses; the codecs refuse bigger ones too.
constexpr std::size_t kMaxPictureBytes = std::size_t{512} * 1024 * 1024;
}  // namespace

void CopyPictureFile(const std::filesystem::path& source, const std::filesystem::path& target) {
    std::error_code ec;
    if (std::filesystem::equivalent(source, target, ec)) return;
    std::filesystem::create_directories(target.parent_path(), ec);
    WriteFileAtomic(target, ReadWholeFile(source, kMaxPictureBytes));
}

bool IsPictureFile(const std::filesystem::path& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

std::string ShownPictureName(const std::filesystem::path& shown) {
    const std::filesystem::path original = OriginalOf(shown);
    return original.has_filename() ? original.filename().string() : "Wallpaper";
}

std::filesystem::path CopyShownPicture(const std::filesystem::path& shown,
                                       const std::filesystem::path& folder) {
    if (!IsPictureFile(shown))
        throw std::runtime_error("the desktop's picture \"" + shown.string() + "\" does not exist");
    const std::filesystem::path target = folder / ShownPictureName(shown);
    CopyPictureFile(shown, target);
    return target;
}

}  // namespace wl
