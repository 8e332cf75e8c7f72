#include "wallpaper/TDrawTH.h"

#include <sys/stat.h>

#include "diag/ErrLog.h"
#include "platform/DataDir.h"

namespace wl {

namespace fs = std::filesystem;

FileIdentity IdentityOf(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return {};
    return {static_cast<uintmax_t>(st.st_size), int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec,
            static_cast<uintmax_t>(st.st_ino), true};
}

std::string DrawInputs(const WeekSnapshot& week, const std::string& fontName, int32_t fontSize,
                       int32_t alpha) {
    std::string key;
    const auto add = [&key](const std::string& part) {
        key += std::to_string(part.size());
        key += ':';
        key += part;
    };
    for (const std::string& entry : week.entries) add(entry);
    for (const std::string& date : week.dates) add(date);
    add(std::to_string(week.today.days));
    add(std::to_string(week.weekOffsetDays));
    add(fontName);
    add(std::to_string(fontSize));
    add(std::to_string(alpha));
    return key;
}

DrawJob MakeDrawJob(DrawRequest request, TDrawContext& context) {
    std::string inputs = DrawInputs(request.week, request.fontName, request.fontSize, request.alpha);
    inputs += std::to_string(request.screen.width) + "x" + std::to_string(request.screen.height);
    fs::path dataDir = request.dataDir;
    return {
        [request = std::move(request), &context](IDesktop& desktop) { DrawHTML(request, desktop, context); },
        std::move(inputs), std::move(dataDir)};
}

namespace {

fs::path Folder(const DrawJob& job) {
    return job.dataDir.empty() ? DataDir() : job.dataDir;
}
fs::path BackgroundFile(const DrawJob& job) {
    return Folder(job) / "Weekleaf-Wallpaper.bmp";
}
fs::path PictureFile(const DrawJob& job) {
    return Folder(job) / "Weekleaf-Modifed.bmp";
}

// Backends report the shown path in their own spelling (absolute, normalised); compare meanings.
bool SamePath(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::absolute(a, ec).lexically_normal() == fs::absolute(b, ec).lexically_normal();
}

}  // namespace

TDrawTH::TDrawTH(DrawJob job, Context context, std::function<void()> termProc)
    : FJob(std::move(job)), FContext(std::move(context)), FTermProc(std::move(termProc)) {
    FThread = std::thread([this] { Execute(); });
}

TDrawTH::~TDrawTH() {
    Join();
}

void TDrawTH::Join() {
    if (FThread.joinable()) FThread.join();
}

void TDrawTH::Execute() {
    try {
        const ScreenSize screen = FContext.desktop.Screen();
        if (!Unchanged(screen)) Draw(screen);
    } catch (const std::exception& e) {
        FContext.last.valid = false;
        ErrLog(std::string("TDrawTH.Execute: ") + e.what());
    } catch (...) {
        FContext.last.valid = false;
        ErrLog("TDrawTH.Execute: unknown error");
    }
    // Last thing this thread does: after it, the main thread may join and destroy this object.
    FContext.executor(FTermProc);
}

bool TDrawTH::Unchanged(const ScreenSize& screen) {
    const LastDrawn& last = FContext.last;
    if (!last.valid || last.inputs != FJob.inputs || !(last.screen == screen)) return false;
    if (!(IdentityOf(BackgroundFile(FJob)) == last.background)) return false;
    const fs::path picture = PictureFile(FJob);
    const std::string shown = FContext.desktop.CurrentWallpaperFile();
    return !shown.empty() && SamePath(shown, picture) && IdentityOf(picture) == last.picture;
}

void TDrawTH::Draw(const ScreenSize& screen) {
    LastDrawn& last = FContext.last;
    last.valid = false;
    const fs::path picture = PictureFile(FJob);
    const FileIdentity before = IdentityOf(picture);
    GuardedDesktop guarded(FContext.desktop, FContext.gate, FContext.generation);
    FJob.draw(guarded);
    // Only a run that wrote a new picture and put exactly that up may vouch for the desktop: a run
    // whose drawing failed half-way re-applies an old picture, which must not be taken as current.
    const FileIdentity after = IdentityOf(picture);
    if (guarded.Applied().empty() || !SamePath(guarded.Applied(), picture) || !after.exists ||
        after == before)
        return;
    last = {true, FJob.inputs, IdentityOf(BackgroundFile(FJob)), after, screen};
}

DrawScheduler::DrawScheduler(IDesktop& desktop, Executor executor)
    : FDesktop(desktop), FExecutor(std::move(executor)), FSelf(std::make_shared<DrawScheduler*>(this)) {}

DrawScheduler::~DrawScheduler() {
    FSelf.reset();
    FRun.reset();
}

bool DrawScheduler::RequestDrawing(const std::function<DrawRequest()>& makeRequest) {
    return RequestJob([&] { return MakeDrawJob(makeRequest(), FDrawContext); });
}

bool DrawScheduler::RequestJob(const std::function<DrawJob()>& makeJob) {
    if (!FDrawIdle) return false;
    DrawJob job = makeJob();
    FDrawIdle = false;
    // A finished run's thread is joined here at the latest (normally DrawTerm already did).
    FRun.reset();
    std::weak_ptr<DrawScheduler*> self = FSelf;
    auto termProc = [self] {
        if (auto scheduler = self.lock()) (*scheduler)->DrawTerm();
    };
    TDrawTH::Context context{FDesktop, FGate, FGate.Generation(), FLast, FExecutor};
    try {
        FRun = std::make_unique<TDrawTH>(std::move(job), std::move(context), std::move(termProc));
    } catch (...) {
        FDrawIdle = true;
        throw;
    }
    return true;
}

void DrawScheduler::DrawTerm() {
    if (FRun) FRun->Join();
    FRun.reset();
    FDrawIdle = true;
    if (FOnIdle) FOnIdle();
}

void DrawScheduler::WaitIdle(const std::function<void()>& pumpOnce) {
    while (!FDrawIdle) pumpOnce();
}

}  // namespace wl
