#include "composer/render/BandRenderer.h"

#include "composer/PixelPicture.h"
#include "composer/Messages.h"
#include "composer/render/StampPainter.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace morvaleth {
namespace {

// Bands of about this many bytes keep few stamps straddling two bands (each
// band a stamp touches loads its glyph again), within a budget for all the
// bands in memory, which keeps a huge picture's memory small.
constexpr std::size_t BandBytes = std::size_t(4) << 20;
constexpr std::size_t AllBandsBytes = std::size_t(16) << 20;
constexpr int FewestBandRows = 16;
constexpr int MostBandRows = 512;
// Stamps planned for pictures without pixels are dropped in lots this large.
constexpr std::size_t DroppedStampLot = 4096;
// A plan that settles no row tells its progress after each lot of this many
// stamps.
constexpr std::size_t PlannedStampLot = 16384;
// Beyond this many stamps a stretch's list grows as it needs to.
constexpr std::int64_t MostReservedStamps = 1 << 16;

int DefaultBandRows(std::size_t stride, int bandsInMemory)
{
    const std::size_t bytes = std::min(BandBytes, AllBandsBytes / std::size_t(bandsInMemory));
    return int(std::clamp<std::size_t>(bytes / std::max<std::size_t>(stride, 1), FewestBandRows, MostBandRows));
}

int ThreadCount(int requested)
{
    if (requested > 0)
        return requested;
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

// How a run splits its rows: bands of so many rows, so many bands to a
// stretch, painted by so many threads.
struct Split {
    int bandRows;
    int bandsPerStretch;
    int threads;
};

// Two bands a thread, so that a thread with a light band takes another; two
// sets of them, so that one stretch's rows go to the sink while the other
// threads paint the next. Whatever the threads asked for, the bands in memory
// stay within AllBandsBytes (bands narrower than FewestBandRows would make
// the stamps that straddle them load their glyphs again and again), and no
// thread is started that would find no band to paint: its faces and caches
// would take memory for nothing.
Split SplitFor(std::size_t stride, const RenderOptions& options)
{
    const int wanted = ThreadCount(options.threads);
    Split split;
    split.bandRows = options.bandRows > 0 ? options.bandRows : DefaultBandRows(stride, 4 * wanted);
    const std::size_t bandBytes = std::max<std::size_t>(stride * std::size_t(split.bandRows), 1);
    const std::size_t bandsInMemory = std::clamp<std::size_t>(AllBandsBytes / bandBytes, 4, 4 * std::size_t(wanted));
    split.bandsPerStretch = int(bandsInMemory / 2);
    split.threads = std::clamp(split.bandsPerStretch / 2, 1, wanted);
    return split;
}

// The run's progress as rows of the picture's height: the rows painted; in a
// run that plans all its text before it paints (columns), the plan takes the
// first half and the rows painted the second. Reported only as it advances.
class RunProgress {
public:
    RunProgress(const RunControl& control, std::int64_t height, bool planFirst)
        : control_(control), height_(height), planFirst_(planFirst)
    {
    }

    void Planned(double share)
    {
        if (planFirst_)
            Report(std::int64_t(std::clamp(share, 0.0, 1.0) * double(height_ / 2)));
    }
    void Painted(std::int64_t rows)
    {
        Report(planFirst_ ? height_ / 2 + rows * (height_ - height_ / 2) / std::max<std::int64_t>(height_, 1) : rows);
    }

private:
    void Report(std::int64_t done)
    {
        if (!control_.progress || done <= reported_)
            return;
        reported_ = done;
        control_.progress(done, height_);
    }

    const RunControl& control_;
    std::int64_t height_;
    bool planFirst_;
    std::int64_t reported_ = 0;
};

void FillPaper(std::uint8_t* rows, int count, int width, std::size_t stride, TColor paper)
{
    const std::size_t pixelBytes = std::size_t(width) * 3;
    for (int row = 0; row < count; ++row) {
        std::uint8_t* line = rows + std::size_t(row) * stride;
        if (paper == clWhite) {
            std::memset(line, 0xFF, pixelBytes);
        } else {
            for (std::size_t x = 0; x < pixelBytes; x += 3) {
                line[x] = BlueOf(paper);
                line[x + 1] = GreenOf(paper);
                line[x + 2] = RedOf(paper);
            }
        }
        std::memset(line + pixelBytes, 0, stride - pixelBytes);
    }
}

struct Band {
    PixelSurface surface;
    // The stamps of the band's stretch.
    const StampList* stamps = nullptr;
    // Memory of the run's own, or the sink's white memory under paper of
    // another colour: given the paper by whichever thread paints it.
    bool fill = false;
    std::exception_ptr failure;
};

// Gives the bands of rows [top, end) their memory: the sink's own where it
// offers it, else memory of the set's, to be given the paper when painted.
void PrepareBands(std::vector<Band>& bands, std::vector<PixelMemory>& memory,
                  std::vector<std::vector<std::uint8_t>>& alpha, const StampList& stamps, std::int64_t top,
                  std::int64_t end, int bandRows, int width, std::size_t stride, RowSink& sink,
                  const Background& background)
{
    const TColor paper = background.transparent ? clWhite : background.color;
    bands.clear();
    for (std::int64_t bandTop = top; bandTop < end; bandTop += bandRows) {
        const int rows = int(std::min<std::int64_t>(bandRows, end - bandTop));
        Band band;
        band.stamps = &stamps;
        std::uint8_t* bits = sink.RowsInPlace(int(bandTop), rows);
        band.fill = paper != clWhite;
        if (bits == nullptr) {
            auto& own = memory[bands.size()];
            if (!own) {
                own = AllocatePixels(stride * std::size_t(bandRows));
                if (!own)
                    throw Failure(Message::OutOfResources);
            }
            bits = own.get();
            band.fill = true;
        }
        band.surface = {bits, width, int(bandTop) + rows, stride, int(bandTop)};
        if (background.transparent) {
            // Cleared by whichever thread paints the band.
            auto& opacity = alpha[bands.size()];
            opacity.resize(std::size_t(width) * std::size_t(bandRows));
            band.surface.alpha = opacity.data();
        }
        bands.push_back(band);
    }
}

// The render threads. Bands are handed out one at a time, in the order they
// were queued, to whichever thread is free, the calling thread included; a
// band's pixels do not depend on which thread paints it. The bands of the
// next stretch can be queued while those of the current one are painted, so
// that no thread waits at the end of a stretch.
class RenderCrew {
public:
    RenderCrew(int threads, const FaceTable& faces, TColor paper, const RunControl& control)
        : faces_(faces), paper_(paper), control_(control)
    {
        for (int i = 1; i < threads; ++i)
            workers_.emplace_back([this] { Work(); });
    }
    RenderCrew(const RenderCrew&) = delete;
    RenderCrew& operator=(const RenderCrew&) = delete;
    ~RenderCrew()
    {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        wake_.notify_all();
        for (std::thread& worker : workers_)
            worker.join();
    }

    // Queues a set of bands (0 or 1) for the other threads. The set's bands
    // and their stamps must stay as they are until Finish has returned for it.
    void Start(int set, std::vector<Band>& bands)
    {
        {
            std::lock_guard lock(mutex_);
            for (Band& band : bands)
                queue_.push_back({&band, set});
            unfinished_[set] += bands.size();
        }
        wake_.notify_all();
    }

    // Paints along until every band of the set is done.
    void Finish(int set, StampPainter& painter)
    {
        std::unique_lock lock(mutex_);
        while (unfinished_[set] > 0) {
            if (!queue_.empty()) {
                PaintNext(lock, painter);
                continue;
            }
            done_.wait(lock);
        }
    }

private:
    struct Queued {
        Band* band;
        int set;
    };

    void Work()
    {
        // Each thread opens its own faces; FreeType handles are not shared.
        StampPainter painter(faces_);
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return closing_ || !queue_.empty(); });
            if (closing_)
                return;
            PaintNext(lock, painter);
        }
    }

    // Takes the next band off the queue and paints it, without the lock.
    void PaintNext(std::unique_lock<std::mutex>& lock, StampPainter& painter)
    {
        const Queued next = queue_.front();
        queue_.pop_front();
        lock.unlock();
        Band& band = *next.band;
        try {
            if (band.fill)
                FillPaper(band.surface.bits, band.surface.height - band.surface.top, band.surface.width,
                          band.surface.stride, paper_);
            if (band.surface.alpha != nullptr)
                std::memset(band.surface.alpha, 0,
                            std::size_t(band.surface.height - band.surface.top) * std::size_t(band.surface.width));
            painter.Paint(*band.stamps, band.surface, control_.cancel);
        } catch (...) {
            band.failure = std::current_exception();
        }
        lock.lock();
        if (--unfinished_[next.set] == 0)
            done_.notify_all();
    }

    const FaceTable& faces_;
    TColor paper_;
    const RunControl& control_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<Queued> queue_;
    std::size_t unfinished_[2] = {0, 0};
    bool closing_ = false;
};

void ThrowIfCancelled(const RunControl& control)
{
    if (control.Cancelled())
        throw Cancellation();
}

// Plans the rest of the text for what it may still raise (a read error, a
// face that cannot be opened), keeping none of its stamps.
void PlanToTheEnd(StampPlan& plan, StampList& list, const RunControl& control)
{
    list.stamps.reserve(DroppedStampLot);
    list.codePoints.reserve(2 * DroppedStampLot);
    while (!plan.Done()) {
        list.stamps.clear();
        list.codePoints.clear();
        plan.PlanSome(DroppedStampLot, list, control);
    }
    list.stamps.clear();
    list.codePoints.clear();
}

} // namespace

void RenderRun(StampPlan& plan, StampList& list, const FaceTable& faces, int width, int height, RowSink& sink,
               const RunControl& control, const RenderOptions& options, const Background& background)
{
    const TColor paper = background.transparent ? clWhite : background.color;
    if (width <= 0 || height <= 0) {
        PlanToTheEnd(plan, list, control);
        ThrowIfCancelled(control);
        return;
    }

    const std::size_t stride = std::size_t(RowBytes(width));
    const Split split = SplitFor(stride, options);
    const int bandRows = split.bandRows;
    const int bandsPerStretch = split.bandsPerStretch;
    const std::int64_t stretchRows = std::int64_t(bandRows) * bandsPerStretch;
    RunProgress progress(control, height, !plan.SettlesRows() && !plan.Done());

    // As many stamps as a stretch's rows and the rows reaching into it can
    // hold, so that the list does not grow with the text.
    const std::int64_t pitch = std::max(1, plan.Pitch());
    const std::int64_t columns = width / pitch + 2;
    const std::int64_t gridRows = (stretchRows + 2 * plan.LongestReach()) / pitch + 2;
    const auto expected = std::size_t(std::min<std::int64_t>(columns * gridRows, MostReservedStamps));
    list.stamps.reserve(std::max(expected, list.stamps.size()));
    list.codePoints.reserve(std::max(2 * expected, list.codePoints.size()));

    // Stretch by stretch the stamps go into one list and then the other, so
    // that the next stretch is planned while the threads paint this one. Once
    // the plan is done, the stretches share its last list.
    StampList spare;
    spare.stamps.reserve(list.stamps.capacity());
    spare.codePoints.reserve(list.codePoints.capacity());
    StampList* stampsOf[2] = {&list, nullptr};

    std::vector<PixelMemory> memory[2];
    std::vector<std::vector<std::uint8_t>> alpha[2];
    std::vector<Band> bands[2];
    for (int set = 0; set < 2; ++set) {
        memory[set].resize(std::size_t(bandsPerStretch));
        alpha[set].resize(std::size_t(bandsPerStretch));
        bands[set].reserve(std::size_t(bandsPerStretch));
    }
    StampPainter painter(faces);
    // Declared after the bands and the lists: on a failure its threads finish
    // before their memory goes.
    RenderCrew crew(split.threads, faces, paper, control);

    const auto handOver = [&](const std::vector<Band>& finished) {
        for (const Band& band : finished) {
            if (band.surface.alpha != nullptr)
                sink.AlphaRows(band.surface.top, band.surface.height - band.surface.top, band.surface.alpha,
                               std::size_t(width));
            sink.Rows(band.surface.top, band.surface.height - band.surface.top, band.surface.bits, stride);
        }
        if (!finished.empty())
            progress.Painted(finished.back().surface.height);
    };
    const auto endOf = [&](std::int64_t top) { return std::min<std::int64_t>(height, top + stretchRows); };

    // A plan that settles no row plans all of its text here, a lot at a time,
    // telling how far it has come.
    while (!plan.Done() && plan.SettledRows() < endOf(0)) {
        plan.PlanSome(list.stamps.size() + PlannedStampLot, list, control);
        progress.Planned(plan.Progress());
    }
    ThrowIfCancelled(control);
    PrepareBands(bands[0], memory[0], alpha[0], list, 0, endOf(0), bandRows, width, stride, sink, background);
    crew.Start(0, bands[0]);
    int current = 0;
    for (std::int64_t top = 0; top < height; top += stretchRows) {
        const std::int64_t end = endOf(top);
        const int next = 1 - current;
        if (end < height) {
            // The next stretch's set went to the sink at the end of the last
            // turn, and its list's stretch is painted.
            StampList* nextStamps = stampsOf[current];
            if (!plan.Done()) {
                nextStamps = stampsOf[current] == &list ? &spare : &list;
                nextStamps->CarryOver(*stampsOf[current], end);
                plan.PlanThrough(endOf(end), *nextStamps, control);
                ThrowIfCancelled(control);
            }
            stampsOf[next] = nextStamps;
            PrepareBands(bands[next], memory[next], alpha[next], *nextStamps, end, endOf(end), bandRows, width, stride, sink, background);
            crew.Start(next, bands[next]);
        }
        crew.Finish(current, painter);
        for (const Band& band : bands[current])
            if (band.failure)
                std::rethrow_exception(band.failure);
        ThrowIfCancelled(control);
        handOver(bands[current]);
        current = next;
    }
    PlanToTheEnd(plan, list, control);
    ThrowIfCancelled(control);
}

} // namespace morvaleth
