// How the studio previews a big picture: a 4096 x 4096 24-bit bitmap in a 1024 x 768 view.
//
// Runs the real main window under Qt's offscreen platform and prints three ratios against their
// targets: the preview's time over the decoder's alone (1.3x), a zoom step's redraw (30 ms), and
// the memory the preview adds at its peak over the decoded picture's size (2x). Each is measured
// for a stored entry and for a compressed one, whose inflating the preview also pays for; a second
// ratio sets the preview against reading the entry's bytes (inflating them) and decoding them.
#include <QApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QScrollBar>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "archive/testing/mas_builder.h"
#include "bench/studio_bench.h"
#include "studio/image/image_decoder.h"
#include "studio/image/testing/image_writers.h"
#include "studio/open_archive/entry_access.h"
#include "studio/preview/image_view.h"
#include "studio/shell/archive_tree_model.h"
#include "studio/shell/main_window.h"

namespace {

constexpr int kSide = 4096;
constexpr int kRuns = 3;
constexpr QSize kViewSize(1024, 768);
constexpr double kPreviewRatioTarget = 1.3;
constexpr double kZoomStepTargetMs = 30;
constexpr double kMemoryRatioTarget = 2.0;

// Counts the pixels painted on the canvas, to show that a redraw covers only the exposed part.
class PaintCounter : public QObject {
 public:
  long long pixels = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      const QRect r = static_cast<QPaintEvent*>(event)->rect();
      pixels += static_cast<long long>(r.width()) * r.height();
    }
    return false;
  }
};

// From /proc/self/status, in bytes: "VmRSS" now, "VmHWM" the peak since the last ResetPeak.
long long StatusBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line))
    if (line.rfind(prefix, 0) == 0) return std::stoll(line.substr(prefix.size())) * 1024;
  return 0;
}
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

double Seconds(const QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e9; }

// A picture with smooth areas and fine detail, so that the compressed entry is of a usual size.
uint32_t Colour(int x, int y) {
  const uint32_t noise = (static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 40503u) >> 28;
  return 0xFF000000u | static_cast<uint32_t>(x / 16) << 16 | static_cast<uint32_t>(y / 16) << 8 | ((x ^ y) & 0xF0) |
         noise;
}

// Resizes the window until the image view's visible area is `size`.
void FitView(kestrel::studio::TFKestrel& window, QSize size) {
  for (int i = 0; i < 4; ++i) {
    const QSize now = window.MASImgView->viewport()->size();
    if (now == size) return;
    window.resize(window.size() + (size - now));
    QApplication::processEvents();
  }
}

void Measure(kestrel::studio::TFKestrel& window, int entry, const char* label, const std::vector<uint8_t>& bmp) {
  using kestrel::studio::TFKestrel;
  // Each time is the best of a few runs, as the machine may be busy with other work; the memory is
  // the most any run added.
  double decodeSeconds = 1e9, readAndDecodeSeconds = 1e9, previewSeconds = 1e9;
  long long peakAdded = 0, keptAdded = 0;
  const double decodedBytes = static_cast<double>(kSide) * kSide * 4;
  QElapsedTimer timer;
  for (int run = 0; run < kRuns; ++run) {
    // Back to a view without a picture and zoom 1, as after opening the archive.
    window.MASTreeNT->setCurrentIndex(window.TreeModel()->RootNode());
    window.MASImgView->Blank();
    window.State().ZoomFactor = 1;
    window.MASImgView->SetScale(1);
    QApplication::processEvents();

    timer.start();
    kestrel::DecodeBmp(bmp.data(), bmp.size());
    decodeSeconds = std::min(decodeSeconds, Seconds(timer));

    // The entry's bytes read (and inflated) from the archive, then decoded: the work no preview can skip.
    timer.restart();
    {
      const kestrel::studio::EntryBytes bytes = kestrel::studio::ReadEntryBytes(window.State(), entry);
      kestrel::DecodeBmp(bytes.Data.data(), bytes.Data.size());
    }
    readAndDecodeSeconds = std::min(readAndDecodeSeconds, Seconds(timer));

    QApplication::processEvents();
    const long long before = StatusBytes("VmRSS");
    ResetPeak();
    timer.restart();
    window.MASTreeNT->setCurrentIndex(window.TreeModel()->EntryNode(entry));
    QApplication::processEvents();
    previewSeconds = std::min(previewSeconds, Seconds(timer));
    peakAdded = std::max(peakAdded, StatusBytes("VmHWM") - before);
    keptAdded = std::max(keptAdded, StatusBytes("VmRSS") - before);
    if (window.MASImgView->Image().size() != QSize(kSide, kSide)) {
      std::fprintf(stderr, "image_preview_bench: %s was not shown\n", label);
      return;
    }
  }

  FitView(window, kViewSize);
  PaintCounter counter;
  window.MASImgView->widget()->installEventFilter(&counter);
  const std::vector<QAction*> steps = {window.TBZoomIn, window.TBZoomIn, window.TBZoomIn, window.TBZoomIn,
                                       window.TBZoomOut, window.TBZoomOut, window.TBZoomOut, window.TBZoomOut};
  double totalMs = 0, worstMs = 0;
  for (QAction* step : steps) {
    timer.restart();
    step->trigger();
    QApplication::processEvents();
    const double ms = Seconds(timer) * 1000;
    totalMs += ms;
    worstMs = std::max(worstMs, ms);
  }
  window.MASImgView->widget()->removeEventFilter(&counter);
  const double stepMs = totalMs / static_cast<double>(steps.size());
  const QSize view = window.MASImgView->viewport()->size();

  std::printf("%s (%.1f MB in the archive)\n", label,
              static_cast<double>(window.State().Table[static_cast<size_t>(entry)].CompressedSize) / 1e6);
  std::printf("  preview %.3f s / decode alone %.3f s = %.2fx  (target <= %.1fx)\n", previewSeconds, decodeSeconds,
              previewSeconds / decodeSeconds, kPreviewRatioTarget);
  std::printf("  preview %.3f s / reading the entry and decoding alone %.3f s = %.2fx\n", previewSeconds,
              readAndDecodeSeconds, previewSeconds / readAndDecodeSeconds);
  std::printf("  zoom step in a %dx%d view: %.1f ms on average, %.1f ms at worst  (target <= %.0f ms); "
              "%.2f view areas painted per step\n",
              view.width(), view.height(), stepMs, worstMs, kZoomStepTargetMs,
              static_cast<double>(counter.pixels) / static_cast<double>(steps.size()) /
                  (static_cast<double>(view.width()) * view.height()));
  std::printf("  memory added: %.0f MB at the peak, %.0f MB kept / decoded picture %.0f MB = %.2fx peak, %.2fx kept  "
              "(target <= %.1fx)\n",
              static_cast<double>(peakAdded) / 1e6, static_cast<double>(keptAdded) / 1e6, decodedBytes / 1e6,
              static_cast<double>(peakAdded) / decodedBytes, static_cast<double>(keptAdded) / decodedBytes,
              kMemoryRatioTarget);
}

}  // namespace

int main(int argc, char** argv) {
  kestrel::bench::StudioBench bench(argc, argv);
  kestrel::studio::TFKestrel& window = bench.Window();
  const std::string path = bench.Scratch() / "BIG.MAS";
  std::vector<uint8_t> bmp = kestrel::testing::BmpBytes(kestrel::testing::DrawPicture(kSide, kSide, Colour), {});
  {
    kestrel::testing::TestArchive archive;
    archive.Entries.emplace_back("STORED.BMP", bmp, 18, /*stored=*/true);
    archive.Entries.emplace_back("PACKED.BMP", bmp, 18, /*stored=*/false);
    archive.WriteTo(path);
  }

  window.OpenArchive(QString::fromStdString(path));
  FitView(window, kViewSize);

  std::printf("image_preview_bench: a %d x %d 24-bit bitmap\n", kSide, kSide);
  Measure(window, 0, "stored entry", bmp);
  Measure(window, 1, "compressed entry", bmp);
  return 0;
}
