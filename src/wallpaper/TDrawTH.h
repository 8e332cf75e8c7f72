#pragma once
// The drawing thread and the rule that at most one drawing run exists at a time.
//
// Ownership: DrawScheduler belongs to the main thread; DrawIdle, the requests, the termination
// handler (DrawTerm) and the exit wait all happen there. A run reads nothing the main thread
// owns: it works from a DrawJob captured on the main thread when the run was requested. The
// termination handler reaches the main thread through the injected executor (the Qt app passes a
// queued call). The record of the last applied picture (LastDrawn) is touched only by runs, and
// runs never overlap: each starts after the previous one's thread was joined on the main thread.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/Desktop.h"
#include "wallpaper/Blender.h"
#include "wallpaper/Drawing.h"
#include "wallpaper/TWallPaper.h"

namespace wl {

// Hands a function to the owning thread, which must run it later, never inside this call.
using Executor = std::function<void(std::function<void()>)>;

// One run's work, captured on the main thread when the run is requested.
struct DrawJob {
    // The drawing itself, bound to its snapshot; it applies its picture through the desktop given.
    std::function<void(IDesktop&)> draw;
    // Everything the picture depends on apart from the files and the screen (entries, dates,
    // today, week offset, font, alpha), as one value: equal values draw equal pictures.
    std::string inputs;
    // The data folder the drawing writes to; empty: DataDir() when the run starts.
    std::filesystem::path dataDir;
};

// The `inputs` of a job that draws `week` with the given title font and block alpha: every part
// length-prefixed, so different inputs never run together into the same value.
std::string DrawInputs(const WeekSnapshot& week, const std::string& fontName, int32_t fontSize,
                       int32_t alpha);

// The week drawing (DrawHTML) of `request` as a job; `context` (the engine kept warm from run to
// run) must outlive the run and serve one run at a time.
DrawJob MakeDrawJob(DrawRequest request, TDrawContext& context);

// Size, modification time and inode of a file; all zero when it does not exist.
struct FileIdentity {
    uintmax_t size = 0;
    int64_t mtimeNs = 0;
    uintmax_t inode = 0;
    bool exists = false;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
FileIdentity IdentityOf(const std::filesystem::path& file);

// What the last run that put a new picture up drew from, so an unchanged tick can skip the work.
struct LastDrawn {
    bool valid = false;
    std::string inputs;
    FileIdentity background;  // "Weekleaf-Wallpaper.bmp" after that run
    FileIdentity picture;     // "Weekleaf-Modifed.bmp" as that run wrote it
    ScreenSize screen;
};

// One drawing run on a short-lived thread of its own. Execute runs the job on a desktop guarded
// by the restore gate, logs anything that escapes as "TDrawTH.Execute: <message>", and then hands
// `termProc` to the executor whatever happened. The destructor joins the thread.
class TDrawTH {
  public:
    struct Context {
        IDesktop& desktop;
        WallpaperGate& gate;
        uint64_t generation;  // the gate's generation when the run was requested
        LastDrawn& last;
        Executor executor;
    };
    TDrawTH(DrawJob job, Context context, std::function<void()> termProc);
    ~TDrawTH();
    TDrawTH(const TDrawTH&) = delete;
    TDrawTH& operator=(const TDrawTH&) = delete;

    void Join();

  private:
    void Execute();
    // True when the inputs, the cached background, the screen and the desktop are all as the last
    // applied picture left them: nothing to render, write or apply.
    bool Unchanged(const ScreenSize& screen);
    void Draw(const ScreenSize& screen);

    DrawJob FJob;
    Context FContext;
    std::function<void()> FTermProc;
    std::thread FThread;
};

// The request rule of the main window: a request while a run exists is dropped; DrawIdle is false
// from the request until the run's termination handler ran on the main thread.
class DrawScheduler {
  public:
    DrawScheduler(IDesktop& desktop, Executor executor);
    // Waits for a run still going (its termination handler is then never run).
    ~DrawScheduler();
    DrawScheduler(const DrawScheduler&) = delete;
    DrawScheduler& operator=(const DrawScheduler&) = delete;

    bool DrawIdle() const { return FDrawIdle; }

    // Request a drawing of the week: when idle, clears DrawIdle, takes the request now (the
    // snapshot is made on this thread) and starts DrawHTML on it; returns true. Otherwise does
    // nothing (makeRequest is not called) and returns false. An exception from makeRequest leaves
    // the scheduler idle and propagates.
    bool RequestDrawing(const std::function<DrawRequest()>& makeRequest);
    // The same rule for any job.
    bool RequestJob(const std::function<DrawJob()>& makeJob);

    // Called on the main thread after every termination handler (the app's DrawTerm hook).
    void SetOnIdle(std::function<void()> onIdle) { FOnIdle = std::move(onIdle); }

    // The exit path: runs pumpOnce (which processes pending main-thread work, including the
    // termination handler) until DrawIdle holds.
    void WaitIdle(const std::function<void()>& pumpOnce);

    // Restores go through this gate so a run requested before them never undoes them.
    WallpaperGate& Gate() { return FGate; }
    IDesktop& Desktop() { return FDesktop; }

  private:
    void DrawTerm();

    IDesktop& FDesktop;
    Executor FExecutor;
    WallpaperGate FGate;
    LastDrawn FLast;
    TDrawContext FDrawContext;
    bool FDrawIdle = true;
    std::unique_ptr<TDrawTH> FRun;
    std::function<void()> FOnIdle;
    // Queued termination handlers find the scheduler through this; gone once it is destroyed.
    std::shared_ptr<DrawScheduler*> FSelf;
};

}  // namespace wl
