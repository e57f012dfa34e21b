#include "composer/BandRenderer.h"

#include "composer/Bitmap.h"
#include "composer/Error.h"
#include "composer/StampPainter.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
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

void FillWhite(std::uint8_t* rows, int count, int width, std::size_t stride)
{
    const std::size_t pixelBytes = std::size_t(width) * 3;
    for (int row = 0; row < count; ++row) {
        std::uint8_t* line = rows + std::size_t(row) * stride;
        std::memset(line, 0xFF, pixelBytes);
        std::memset(line + pixelBytes, 0, stride - pixelBytes);
    }
}

struct Band {
    PixelSurface surface;
    std::exception_ptr failure;
};

// Gives the bands of rows [top, end) their memory: the sink's own where it
// offers it, else white memory of the set's.
void PrepareBands(std::vector<Band>& bands, std::vector<TBitmap::PixelMemory>& memory,
                  std::int64_t top, std::int64_t end, int bandRows, int width, std::size_t stride, RowSink& sink)
{
    bands.clear();
    for (std::int64_t bandTop = top; bandTop < end; bandTop += bandRows) {
        const int rows = int(std::min<std::int64_t>(bandRows, end - bandTop));
        std::uint8_t* bits = sink.RowsInPlace(int(bandTop), rows);
        if (bits == nullptr) {
            auto& own = memory[bands.size()];
            if (!own) {
                own = TBitmap::AllocatePixels(stride * std::size_t(bandRows));
                if (!own)
                    throw Error("ｼｽﾃﾑ ﾘｿｰｽが足りません", ErrorKind::Resources);
            }
            bits = own.get();
            FillWhite(bits, rows, width, stride);
        }
        Band band;
        band.surface = {bits, width, int(bandTop) + rows, stride, int(bandTop)};
        bands.push_back(band);
    }
}

// The render threads. Each stretch's bands are handed out one at a time to
// whichever thread is free, the calling thread included; a band's pixels do
// not depend on which thread paints it.
class RenderCrew {
public:
    RenderCrew(int threads, const FaceTable& faces, const StampList& list) : faces_(faces), list_(list)
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

    // Sets the other threads painting the bands; Finish paints along and
    // returns once all are done. In between the calling thread may do other
    // work, as long as it leaves the bands and the stamp list alone.
    void Start(std::vector<Band>& bands)
    {
        {
            std::lock_guard lock(mutex_);
            bands_ = &bands;
            next_ = 0;
            unfinished_ = bands.size();
            ++stretch_;
        }
        wake_.notify_all();
    }
    void Finish(StampPainter& painter)
    {
        PaintBands(painter);
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return unfinished_ == 0; });
        bands_ = nullptr;
    }

private:
    void Work()
    {
        // Each thread opens its own faces; FreeType handles are not shared.
        StampPainter painter(faces_);
        std::uint64_t seen = 0;
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return closing_ || stretch_ != seen; });
                if (closing_)
                    return;
                seen = stretch_;
            }
            PaintBands(painter);
        }
    }

    void PaintBands(StampPainter& painter)
    {
        for (;;) {
            Band* band = nullptr;
            {
                std::lock_guard lock(mutex_);
                if (bands_ == nullptr || next_ == bands_->size())
                    return;
                band = &(*bands_)[next_++];
            }
            try {
                painter.Paint(list_, band->surface);
            } catch (...) {
                band->failure = std::current_exception();
            }
            std::lock_guard lock(mutex_);
            if (--unfinished_ == 0)
                done_.notify_all();
        }
    }

    const FaceTable& faces_;
    const StampList& list_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::vector<Band>* bands_ = nullptr;
    std::size_t next_ = 0;
    std::size_t unfinished_ = 0;
    std::uint64_t stretch_ = 0;
    bool closing_ = false;
};

void ThrowIfCancelled(const RunControl& control)
{
    if (control.Cancelled())
        throw Error("", ErrorKind::Cancelled);
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
               const RunControl& control, const RenderOptions& options)
{
    if (width <= 0 || height <= 0) {
        PlanToTheEnd(plan, list, control);
        ThrowIfCancelled(control);
        return;
    }

    const std::size_t stride = std::size_t(RowBytes(width));
    const int threads = ThreadCount(options.threads);
    // Two bands a thread, so that a thread with a light band takes another;
    // two sets of them, so that one stretch's rows go to the sink while the
    // other threads paint the next.
    const int bandsPerStretch = 2 * threads;
    const int bandRows = options.bandRows > 0 ? options.bandRows : DefaultBandRows(stride, 2 * bandsPerStretch);
    const std::int64_t stretchRows = std::int64_t(bandRows) * bandsPerStretch;

    // As many stamps as a stretch's rows and the rows reaching into it can
    // hold, so that the list does not grow with the text.
    const std::int64_t pitch = std::max(1, plan.Pitch());
    const std::int64_t columns = width / pitch + 2;
    const std::int64_t gridRows = (stretchRows + 2 * plan.LongestReach()) / pitch + 2;
    const auto expected = std::size_t(std::min<std::int64_t>(columns * gridRows, MostReservedStamps));
    list.stamps.reserve(std::max(expected, list.stamps.size()));
    list.codePoints.reserve(std::max(2 * expected, list.codePoints.size()));

    std::vector<TBitmap::PixelMemory> memory[2];
    std::vector<Band> bands[2];
    for (int set = 0; set < 2; ++set) {
        memory[set].resize(std::size_t(bandsPerStretch));
        bands[set].reserve(std::size_t(bandsPerStretch));
    }
    StampPainter painter(faces);
    // Declared after the bands: on a failure its threads finish before the
    // bands' memory goes.
    RenderCrew crew(threads, faces, list);

    const auto handOver = [&](const std::vector<Band>& finished) {
        for (const Band& band : finished)
            sink.Rows(band.surface.top, band.surface.height - band.surface.top, band.surface.bits, stride);
        if (control.progress && !finished.empty())
            control.progress(finished.back().surface.height, height);
    };

    int current = 0;
    bool previousWaiting = false;
    for (std::int64_t top = 0; top < height; top += stretchRows) {
        const std::int64_t end = std::min<std::int64_t>(height, top + stretchRows);
        plan.PlanThrough(end, list, control);
        ThrowIfCancelled(control);

        PrepareBands(bands[current], memory[current], top, end, bandRows, width, stride, sink);
        crew.Start(bands[current]);
        if (previousWaiting)
            handOver(bands[1 - current]);
        crew.Finish(painter);
        for (const Band& band : bands[current])
            if (band.failure)
                std::rethrow_exception(band.failure);
        ThrowIfCancelled(control);

        list.DropAbove(end);
        previousWaiting = true;
        current = 1 - current;
    }
    if (previousWaiting)
        handOver(bands[1 - current]);
    PlanToTheEnd(plan, list, control);
    ThrowIfCancelled(control);
}

} // namespace morvaleth
