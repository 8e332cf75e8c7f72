#include "wallpaper/WppLibrary.h"

#include <algorithm>
#include <exception>
#include <random>
#include <stdexcept>
#include <system_error>

#include "data/TSettings.h"
#include "diag/ErrLog.h"
#include "platform/AtomicFile.h"

namespace wl {
namespace fs = std::filesystem;

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// A picture bigger than this is not a wallpaper; refusing it keeps a mistaken choice from
// filling memory.
constexpr std::size_t kMaxPictureBytes = std::size_t{512} << 20;

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), AsciiLower);
    return out;
}

bool NameLess(const std::string& a, const std::string& b) {
    std::string la = LowerAscii(a), lb = LowerAscii(b);
    return la != lb ? la < lb : a < b;
}

bool IsIndexIn(int64_t index, std::size_t count) {
    return index >= 0 && static_cast<uint64_t>(index) < count;
}

DateTime AddSeconds(DateTime t, int64_t seconds) {
    int64_t total = t.seconds + seconds;
    int64_t days = total / kSecondsPerDay;
    int64_t rest = total % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    return DateTime{AddDays(t.date, static_cast<int>(days)), static_cast<int32_t>(rest)};
}

std::string WithSystemText(std::string_view message, std::string_view systemText) {
    std::string text(message);
    text += '\n';
    text += systemText;
    return text;
}

}  // namespace

bool IsWppPicture(const fs::path& file) {
    std::string ext = LowerAscii(file.extension().string());
    return ext == ".jpg" || ext == ".jpeg" || ext == ".bmp" || ext == ".png";
}

std::vector<std::string> ListWppFolder(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (!it->is_regular_file(typeEc) || !IsWppPicture(it->path())) continue;
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end(), NameLess);
    return names;
}

fs::path TWppLibrary::PathOf(int64_t index) const {
    if (!IsIndexIn(index, FNames.size())) return {};
    return FFolder / FNames[static_cast<std::size_t>(index)];
}

void TWppLibrary::ListUpdate() {
    FNames = ListWppFolder(FFolder);
}

WppAddResult TWppLibrary::Add(const fs::path& source) {
    std::error_code ec;
    fs::create_directories(FFolder, ec);
    if (ec) return {false, WithSystemText("Невозможно создать папку для хранения обоев:", ec.message())};
    const fs::path target = FFolder / source.filename();
    // A picture that is already this library file needs no copy (and must not be truncated).
    if (!fs::equivalent(source, target, ec) || ec) {
        try {
            if (!source.has_filename()) throw std::runtime_error(source.string() + ": not a file");
            WriteFileAtomic(target, ReadWholeFile(source, kMaxPictureBytes));
        } catch (const std::exception& e) {
            return {false, WithSystemText("Невозможно скопировать файл обоев:", e.what())};
        }
    }
    ListUpdate();
    return {true, {}};
}

bool TWppLibrary::CanDelete(int64_t selected) const {
    return IsIndexIn(selected, FNames.size());
}

void TWppLibrary::Delete(int64_t selected) {
    if (!CanDelete(selected)) return;
    std::error_code ec;
    fs::remove(PathOf(selected), ec);  // a file that cannot be deleted simply stays listed
    ListUpdate();
}

int64_t WppPeriodSeconds(int32_t wppToChange) {
    switch (wppToChange) {
        case kWppHourly:
            return kSecondsPerDay / 24;
        case kWppDaily:
            return kSecondsPerDay;
        case kWppWeekly:
            return 7 * kSecondsPerDay;
        case kWppMonthly:
            return 30 * kSecondsPerDay;
        default:
            return 10000 * kSecondsPerDay;
    }
}

DateTime WppNextDate(DateTime now, int32_t wppToChange) {
    return AddSeconds(now, WppPeriodSeconds(wppToChange));
}

WppRandomIndex DefaultWppRandom() {
    return [](std::size_t count) -> std::size_t {
        // One engine per thread: nothing shared, nothing to lock.
        thread_local std::mt19937_64 engine{std::random_device{}()};
        return std::uniform_int_distribution<std::size_t>(0, count - 1)(engine);
    };
}

std::size_t NextWppIndex(int32_t curIndex, std::size_t count, bool randomOrder,
                         const WppRandomIndex& random) {
    if (count == 0) return 0;
    if (randomOrder) return std::min(random(count), count - 1);
    int64_t next = int64_t{curIndex} + 1;
    return IsIndexIn(next, count) ? static_cast<std::size_t>(next) : 0;
}

WppRotationStep WppRotationDecide(const WppRotationState& state, DateTime now, const WppRandomIndex& random) {
    using Action = WppRotationStep::Action;
    const auto only = [](Action action) {
        WppRotationStep step;
        step.action = action;
        return step;
    };
    if (state.wppToChange < kWppHourly || state.wppToChange > kWppMonthly) return only(Action::StopTimer);
    if (now < state.wppDateToChange) return only(Action::Wait);
    if (state.count == 0) return only(Action::Wait);
    // A running drawing would end by writing its own picture; the change waits for a later
    // tick, which still finds the due date passed.
    if (!state.drawIdle) return only(Action::Wait);
    return {Action::Change, NextWppIndex(state.wppCurIndex, state.count, state.randomOrder, random),
            WppNextDate(now, state.wppToChange)};
}

bool WppRotationTick(TSettings& settings, const TWppLibrary& library, bool randomOrder, bool drawIdle,
                     DateTime now, const WppRandomIndex& random,
                     const std::function<void(const fs::path&)>& apply) {
    WppRotationState state{settings.WppToChange(), settings.WppDateToChange(),
                           settings.WppCurIndex(), randomOrder,
                           library.Count(),        drawIdle};
    WppRotationStep step = WppRotationDecide(state, now, random);
    if (step.action == WppRotationStep::Action::StopTimer) return false;
    if (step.action == WppRotationStep::Action::Wait) return true;
    try {
        settings.SetWppCurIndex(static_cast<int32_t>(step.newIndex));
        settings.SetWppDateToChange(step.nextDate);
    } catch (const std::exception& e) {
        // The values are held in memory even when Config.ini cannot be written; the change
        // goes on so that the rotation does not retry every minute.
        ErrLog(std::string("tWppChange: ") + e.what());
    }
    try {
        apply(library.PathOf(static_cast<int64_t>(step.newIndex)));
    } catch (...) {
        // The desktop keeps its picture; the next change comes one period later.
    }
    return true;
}

}  // namespace wl
