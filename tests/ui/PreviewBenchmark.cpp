// How long one scroll step of the preview takes to paint, for pictures up to
// 20000 × 20000 pixels: the preview paints only what the panel shows, so the
// time should not grow with the picture. And how long a repaint of a whole
// picture fitted into an enlarged window takes: it scales only the pixels it
// shows, so it should stay well under a frame.
//
//   build/tests/ui/ui_preview_benchmark

#include "ui/Application.h"
#include "ui/FormMain.h"
#include "ui/PreviewImage.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>

#include <cstring>

namespace {

void ScrollStep(benchmark::State& state, Qt::Orientation orientation)
{
    const int side = int(state.range(0));
    auto picture = std::make_shared<morvaleth::PixelPicture>();
    picture->SetHeight(side);
    picture->SetWidth(side);

    morvaleth::THFormMain form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        state.SkipWithError("the window never showed");
        return;
    }
    auto* image = form.findChild<morvaleth::TPreviewImage*>("HImage");
    auto* panel = form.findChild<QWidget*>("HImgPanel");
    auto* bar = form.findChild<morvaleth::TScrollBar*>(orientation == Qt::Horizontal ? "HScrH"
                                                                                    : "HScrV");
    image->SetPicture(picture);
    form.ResetPreview();
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_End);
    QTest::keyClick(bar, Qt::Key_Left);
    panel->repaint();

    // Back and forth by one line at the far end: the user's key, the image's
    // move and the synchronous paint of the panel.
    bool forward = true;
    for (auto _ : state) {
        QTest::keyClick(bar, forward ? Qt::Key_Right : Qt::Key_Left);
        panel->repaint();
        forward = !forward;
    }
    state.counters["picture MB"] = double(picture->Stride()) * side / 1e6;
}

void HorizontalStep(benchmark::State& state)
{
    ScrollStep(state, Qt::Horizontal);
}

void VerticalStep(benchmark::State& state)
{
    ScrollStep(state, Qt::Vertical);
}

// The window enlarged to 1280 × 960, the picture fitted to its panel with
// Ctrl+0, and the picture repainted whole.
void FittedRepaint(benchmark::State& state)
{
    const int side = int(state.range(0));
    auto picture = std::make_shared<morvaleth::PixelPicture>();
    picture->SetHeight(side);
    picture->SetWidth(side);
    // Stripes written into every row, so that the paint reads real memory.
    for (int y = 0; y < side; ++y)
        std::memset(picture->ScanLine(y), (y / 16) % 2 == 0 ? 0x00 : 0xFF, picture->Stride());

    morvaleth::THFormMain form;
    form.resize(1280, 960);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        state.SkipWithError("the window never showed");
        return;
    }
    auto* image = form.findChild<morvaleth::TPreviewImage*>("HImage");
    image->SetPicture(picture);
    form.ResetPreview();
    form.ZoomToFit();
    // The first paint after the zoom changes makes the zoomed copy; later
    // ones, on exposing or moving the window, copy from it.
    image->repaint();
    for (auto _ : state)
        image->repaint();
    state.counters["shown px"] = double(image->width()) * image->height();
}

BENCHMARK(FittedRepaint)->Arg(640)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(HorizontalStep)->Arg(640)->Arg(2000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(VerticalStep)->Arg(640)->Arg(2000)->Arg(20000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    morvaleth::PrepareApplication(application);
    const morvaleth::TNoUserSettings noSettings;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
