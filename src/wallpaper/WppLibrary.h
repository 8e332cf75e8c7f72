#pragma once
// The wallpaper library (the "Wpp" folder) and its periodic rotation, without any window:
// which files are listed, adding and deleting pictures, and one step of the rotation timer
// `tWppChange`. Everything here runs on the main thread.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DateText.h"

namespace wl {

class TSettings;

// ---- The library folder -------------------------------------------------------------------

// Texts of the delete confirmation (title, message).
inline constexpr std::string_view kWppDeleteTitle = "Удалить обои?";
inline constexpr std::string_view kWppDeleteText = "Файл будет удален из списка доступных";
// The picture open dialog's filter.
inline constexpr std::string_view kWppOpenFilter =
    "JPEG Image File (*.jpg)|*.jpg|JPEG Image File (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp";

// True for a name ending in ".jpg", ".jpeg", ".bmp" or ".png" (which most Linux wallpapers are),
// in any letter case.
bool IsWppPicture(const std::filesystem::path& file);

// The pictures directly in the library folder (no subfolders), file names only. Sorted by name,
// letter case ignored, so the positions (the picture index of the rotation and of `WppCurIndex`)
// stay the same between runs. A missing or unreadable folder lists nothing.
std::vector<std::string> ListWppFolder(const std::filesystem::path& folder);

// Result of an add: ok, or the message to show in a plain message box.
struct WppAddResult {
    bool ok = false;
    std::string message;
};

// The library list (the options page shows Names() in `WppBox`).
class TWppLibrary {
  public:
    explicit TWppLibrary(std::filesystem::path folder) : FFolder(std::move(folder)) {}

    const std::filesystem::path& Folder() const { return FFolder; }
    const std::vector<std::string>& Names() const { return FNames; }
    std::size_t Count() const { return FNames.size(); }
    // Full path of the picture at `index`; empty for an index outside the list.
    std::filesystem::path PathOf(int64_t index) const;

    // Refills the list from the folder.
    void ListUpdate();

    // "Добавить": creates the folder (with its parents) when missing, copies `source` into it
    // under its own name (replacing a picture of that name) and refreshes the list. On failure
    // the list is left as it was and the message names the step and the system's error.
    WppAddResult Add(const std::filesystem::path& source);

    // Whether "Удалить" has anything to ask about: the list is not empty and `selected` is a
    // position in it. The caller asks kWppDeleteTitle / kWppDeleteText before Delete.
    bool CanDelete(int64_t selected) const;
    // Deletes the picture at `selected` (a failure is not reported) and refreshes the list.
    // Nothing happens for an index outside the list.
    void Delete(int64_t selected);

  private:
    std::filesystem::path FFolder;
    std::vector<std::string> FNames;
};

// ---- Rotation -----------------------------------------------------------------------------

// `WppToChange` values; the order is that of the period choices on the options page.
inline constexpr int32_t kWppHourly = 0, kWppDaily = 1, kWppWeekly = 2, kWppMonthly = 3, kWppNever = 4;

// The choice texts of the period, in `WppToChange` order.
inline constexpr std::string_view kWppPeriodTexts[] = {"Ежечасно", "Ежедневно", "Еженедельно", "Ежемесячно",
                                                       "Никогда"};

// Seconds added to now for the next due date. A value outside 0..4 counts as "Никогда".
int64_t WppPeriodSeconds(int32_t wppToChange);
DateTime WppNextDate(DateTime now, int32_t wppToChange);

// Uniform random index in 0..count-1 (count > 0). Tests inject a fixed sequence.
using WppRandomIndex = std::function<std::size_t(std::size_t count)>;
WppRandomIndex DefaultWppRandom();

// The next picture: random (the current one may come again) or the one after `curIndex`,
// wrapping to 0; a stored index outside the list also starts again at 0.
std::size_t NextWppIndex(int32_t curIndex, std::size_t count, bool randomOrder, const WppRandomIndex& random);

// What one tick of `tWppChange` decided.
struct WppRotationStep {
    enum class Action { StopTimer, Wait, Change } action = Action::Wait;
    std::size_t newIndex = 0;  // for Change
    DateTime nextDate;         // for Change: the new `WppDateToChange`
};

struct WppRotationState {
    int32_t wppToChange = kWppNever;
    DateTime wppDateToChange;
    int32_t wppCurIndex = 0;
    bool randomOrder = false;  // the options page's "Случайный порядок" as shown now
    std::size_t count = 0;     // pictures in the list
    bool drawIdle = true;      // no drawing run is going
};

WppRotationStep WppRotationDecide(const WppRotationState& state, DateTime now, const WppRandomIndex& random);

// One tick of `tWppChange`: decides, stores `WppCurIndex` and `WppDateToChange`, then hands the
// chosen picture's path to `apply` (put it on the desktop and request a drawing). A failure of
// `apply` is ignored and leaves the stored values as they are. Returns false when the timer
// must be switched off.
bool WppRotationTick(TSettings& settings, const TWppLibrary& library, bool randomOrder, bool drawIdle,
                     DateTime now, const WppRandomIndex& random,
                     const std::function<void(const std::filesystem::path&)>& apply);

}  // namespace wl
