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

// A band of about this many bytes keeps the memory of a huge picture's
// stretch small, while few stamps straddle two bands (each band a stamp
// touches loads its glyph again).
constexpr std::size_t BandBytes = std::size_t(4) << 20;
constexpr int FewestBandRows = 16;
constexpr int MostBandRows = 512;
// Stamps planned for pictures without pixels are dropped in lots this large.
constexpr std::size_t DroppedStampLot = 4096;
// Beyond this many stamps a stretch's list grows as it needs to.
constexpr std::int64_t MostReservedStamps = 1 << 16;

int DefaultBandRows(std::size_t stride)
{
    return int(std::clamp<std::size_t>(BandBytes / std::max<std::size_t>(stride, 1), FewestBandRows, MostBandRows));
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

    // Paints every band, returning once all are done.
    void Paint(std::vector<Band>& bands, StampPainter& painter)
    {
        {
            std::lock_guard lock(mutex_);
            bands_ = &bands;
            next_ = 0;
            unfinished_ = bands.size();
            ++stretch_;
        }
        wake_.notify_all();
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
    const int bandRows = options.bandRows > 0 ? options.bandRows : DefaultBandRows(stride);
    // Two bands a thread, so that a thread with a light band takes another.
    const int bandsPerStretch = 2 * threads;
    const std::int64_t stretchRows = std::int64_t(bandRows) * bandsPerStretch;

    // As many stamps as a stretch's rows and the rows reaching into it can
    // hold, so that the list does not grow with the text.
    const std::int64_t pitch = std::max(1, plan.Pitch());
    const std::int64_t columns = width / pitch + 2;
    const std::int64_t gridRows = (stretchRows + 2 * plan.LongestReach()) / pitch + 2;
    const auto expected = std::size_t(std::min<std::int64_t>(columns * gridRows, MostReservedStamps));
    list.stamps.reserve(std::max(expected, list.stamps.size()));
    list.codePoints.reserve(std::max(2 * expected, list.codePoints.size()));

    std::vector<std::unique_ptr<std::uint8_t[]>> memory(static_cast<std::size_t>(bandsPerStretch));
    std::vector<Band> bands;
    bands.reserve(std::size_t(bandsPerStretch));
    StampPainter painter(faces);
    RenderCrew crew(threads, faces, list);

    for (std::int64_t top = 0; top < height; top += stretchRows) {
        const std::int64_t end = std::min<std::int64_t>(height, top + stretchRows);
        plan.PlanThrough(end, list, control);
        ThrowIfCancelled(control);

        bands.clear();
        for (std::int64_t bandTop = top; bandTop < end; bandTop += bandRows) {
            const int rows = int(std::min<std::int64_t>(bandRows, end - bandTop));
            Band band;
            std::uint8_t* bits = sink.RowsInPlace(int(bandTop), rows);
            if (bits == nullptr) {
                auto& own = memory[bands.size()];
                if (!own)
                    own.reset(new std::uint8_t[stride * std::size_t(bandRows)]);
                bits = own.get();
                FillWhite(bits, rows, width, stride);
            }
            band.surface = {bits, width, int(bandTop) + rows, stride, int(bandTop)};
            bands.push_back(band);
        }
        crew.Paint(bands, painter);
        for (const Band& band : bands)
            if (band.failure)
                std::rethrow_exception(band.failure);
        ThrowIfCancelled(control);

        for (const Band& band : bands)
            sink.Rows(band.surface.top, band.surface.height - band.surface.top, band.surface.bits, stride);
        if (control.progress)
            control.progress(end, height);
        list.DropAbove(end);
    }
    PlanToTheEnd(plan, list, control);
    ThrowIfCancelled(control);
}

} // namespace morvaleth
