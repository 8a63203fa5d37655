// A full repaint of a 1,920 x 1,080 map view, end to end through the widget on the offscreen
// platform, on the sample sheet 543836 (4,587 x 3,746, 8-bit), at magnifications from 10 % to 500 %.
// Peers in the same run: a widget of the same size that only fills itself, and one that draws a
// ready 1,920 x 1,080 picture (the floor any map view pays). Read the results as ratios.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWidget>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "app/CVantoriaDoc.h"
#include "display/GridOverlay.h"
#include "display/ui/CVantoriaView.h"
#include "maps/SheetImage.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include "platform/IProfileStore.h"

namespace {

constexpr int kWidth = 4600;
constexpr int kHeight = 3700;
constexpr QSize kClient(1920, 1080);

struct SFixture {
  CVantoriaDoc doc;
  std::unique_ptr<CVantoriaView> view;
};

SFixture& fixture() {
  static SFixture* f = [] {
    auto* fx = new SFixture;
    // The generated sample sheet 543836 (1:25,000, 4,587 x 3,746), loaded the way a user loads it.
    const std::filesystem::path index =
        std::filesystem::path(VANTORIA_BINARY_DIR) / "sample" / "map25000" / "index.csv";
    if (!fx->doc.OpenIndexFile(index)) {
      std::fprintf(stderr, "bench_view: sample map data missing (%s); build vantoria_sample_data first\n",
                   index.string().c_str());
      std::exit(1);
    }
    fx->view = std::make_unique<CVantoriaView>(fx->doc);
    // Exactly the measured client area: no frame, no scroll bars taking room.
    fx->view->setFrameShape(QFrame::NoFrame);
    fx->view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fx->view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fx->view->resize(kClient);
    fx->view->show();
    fx->doc.LoadSheet(0, 30);  // 543836
    QApplication::processEvents();
    if (fx->view->viewport()->size() != kClient || fx->doc.Image().width() == 0) std::abort();
    return fx;
  }();
  return *f;
}

void BM_ViewRepaint(benchmark::State& state) {
  SFixture& f = fixture();
  const auto code = static_cast<MagnificationCode>(state.range(0));
  f.view->SetMagnification(code, QPoint(kWidth / 2, kHeight / 2));
  QWidget* port = f.view->viewport();
  for (auto _ : state) {
    port->repaint();
    benchmark::ClobberMemory();
  }
  state.counters["ratio"] = f.view->ratio();
}
BENCHMARK(BM_ViewRepaint)
    ->ArgName("code")
    ->Arg(10)->Arg(25)->Arg(-25000)->Arg(50)->Arg(75)->Arg(100)->Arg(150)->Arg(200)->Arg(300)->Arg(500)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// One step of dragging the map: scroll by a few pixels, then the repaint it causes.
void BM_ViewPanStep(benchmark::State& state) {
  SFixture& f = fixture();
  f.view->SetMagnification(static_cast<MagnificationCode>(state.range(0)), QPoint(kWidth / 2, kHeight / 2));
  QWidget* port = f.view->viewport();
  QScrollBar* h = f.view->horizontalScrollBar();
  int step = 7;
  for (auto _ : state) {
    if (h->value() + step > h->maximum() || h->value() + step < 0) step = -step;
    h->setValue(h->value() + step);
    port->repaint();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ViewPanStep)->ArgName("code")->Arg(50)->Arg(100)->Arg(300)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same repaints with the UTM grid, the graticule and the magnetic-north lines over the map:
// the difference to BM_ViewRepaint at the same code is what the grid lines add to a paint. The
// pan step builds the lines anew each time, as the window shows another part of the map.
void showGrids(bool on) {
  // The toggles are remembered; a profile of its own keeps the user's untouched.
  static platform::CMemoryProfile profile;
  platform::setProfile(&profile);
  SFixture& f = fixture();
  for (const auto g : {CVantoriaView::EGrid::Utm, CVantoriaView::EGrid::Graticule, CVantoriaView::EGrid::MagneticNorth})
    f.view->SetGridShown(g, on);
}

void BM_ViewRepaintGrid(benchmark::State& state) {
  SFixture& f = fixture();
  showGrids(true);
  f.view->SetMagnification(static_cast<MagnificationCode>(state.range(0)), QPoint(kWidth / 2, kHeight / 2));
  QWidget* port = f.view->viewport();
  port->repaint();
  const int builds = f.view->gridOverlay().builds();
  for (auto _ : state) {
    port->repaint();
    benchmark::ClobberMemory();
  }
  state.counters["lines"] = static_cast<double>(f.view->gridOverlay().lines().size());
  // Lines built again during the repaints (none: the window shows the same part throughout).
  state.counters["rebuilds"] = f.view->gridOverlay().builds() - builds;
  showGrids(false);
}
BENCHMARK(BM_ViewRepaintGrid)->ArgName("code")->Arg(10)->Arg(25)->Arg(100)->Arg(300)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ViewPanStepGrid(benchmark::State& state) {
  SFixture& f = fixture();
  showGrids(true);
  f.view->SetMagnification(static_cast<MagnificationCode>(state.range(0)), QPoint(kWidth / 2, kHeight / 2));
  QWidget* port = f.view->viewport();
  QScrollBar* h = f.view->horizontalScrollBar();
  int step = 7;
  for (auto _ : state) {
    if (h->value() + step > h->maximum() || h->value() + step < 0) step = -step;
    h->setValue(h->value() + step);
    port->repaint();
    benchmark::ClobberMemory();
  }
  showGrids(false);
}
BENCHMARK(BM_ViewPanStepGrid)->ArgName("code")->Arg(50)->Arg(100)->Arg(300)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The grid lines alone painted over a 1,920 x 1,080 picture at 100 %: 0 UTM grid, 1 graticule,
// 2 magnetic north, 3 all three. Peer: BM_PeerPictureCopy below (the picture drawn once).
void BM_GridPaint(benchmark::State& state) {
  SFixture& f = fixture();
  f.view->SetMagnification(100, QPoint(kWidth / 2, kHeight / 2));
  SGridOverlayOptions o;
  const int kind = static_cast<int>(state.range(0));
  o.utm = kind == 0 || kind == 3;
  o.graticule = kind == 1 || kind == 3;
  o.magneticNorth = kind == 2 || kind == 3;
  o.graticuleSpacingSec = 10.0;
  o.labelPictures = true;  // as the view draws them
  const QRect area(QPoint(kWidth / 2 - kClient.width() / 2, kHeight / 2 - kClient.height() / 2), kClient);
  CGridOverlay grid;
  grid.Build(f.view->frame(), area, o);
  // The format of the window's backing store, as the view paints into it.
  QImage picture(kClient, f.view->viewport()->grab().toImage().format());
  picture.fill(QColor(200, 180, 160));
  for (auto _ : state) {
    QPainter p(&picture);
    grid.Paint(p, -QPointF(area.topLeft()));
    p.end();
    benchmark::ClobberMemory();
  }
  state.counters["lines"] = static_cast<double>(grid.lines().size());
  state.counters["labels"] = static_cast<double>(grid.labels().size());
}
BENCHMARK(BM_GridPaint)->ArgName("kind")->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

// All three written straight into the picture, as the window's paint does it.
void BM_GridPaintDirect(benchmark::State& state) {
  SFixture& f = fixture();
  f.view->SetMagnification(100, QPoint(kWidth / 2, kHeight / 2));
  SGridOverlayOptions o;
  o.utm = o.graticule = o.magneticNorth = true;
  o.graticuleSpacingSec = 10.0;
  o.labelPictures = true;
  const QRect area(QPoint(kWidth / 2 - kClient.width() / 2, kHeight / 2 - kClient.height() / 2), kClient);
  CGridOverlay grid;
  grid.Build(f.view->frame(), area, o);
  QImage picture(kClient, QImage::Format_RGB32);
  picture.fill(QColor(200, 180, 160));
  for (auto _ : state) {
    if (!grid.PaintDirect(picture, -area.topLeft(), picture.rect())) state.SkipWithError("not drawn directly");
    benchmark::ClobberMemory();
  }
  state.counters["lines"] = static_cast<double>(grid.lines().size());
}
BENCHMARK(BM_GridPaintDirect)->Unit(benchmark::kMicrosecond);

void BM_GridBuild(benchmark::State& state) {
  SFixture& f = fixture();
  f.view->SetMagnification(100, QPoint(kWidth / 2, kHeight / 2));
  SGridOverlayOptions o;
  o.utm = o.graticule = o.magneticNorth = true;
  o.graticuleSpacingSec = 10.0;
  const QRect area(QPoint(kWidth / 2 - kClient.width() / 2, kHeight / 2 - kClient.height() / 2), kClient);
  CGridOverlay grid;
  for (auto _ : state) {
    grid.Build(f.view->frame(), area, o);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_GridBuild)->Unit(benchmark::kMicrosecond);

void BM_PeerPictureCopy(benchmark::State& state) {
  QImage source(kClient, QImage::Format_RGB32);
  source.fill(QColor(200, 180, 160));
  QImage target(kClient, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter p(&target);
    p.drawImage(0, 0, source);
    p.end();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PeerPictureCopy)->Unit(benchmark::kMicrosecond);

// Peers: the same widget stack with the least possible paint.
class CFillWidget : public QWidget {
 public:
  explicit CFillWidget(const QImage* picture) : m_picture(picture) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(kClient);
  }

 protected:
  void paintEvent(QPaintEvent* e) override {
    QPainter p(this);
    if (m_picture) p.drawImage(e->rect().topLeft(), *m_picture, e->rect());
    else p.fillRect(e->rect(), Qt::white);
  }

 private:
  const QImage* m_picture;
};

void BM_PeerWidgetFill(benchmark::State& state) {
  CFillWidget w(nullptr);
  w.show();
  QApplication::processEvents();
  for (auto _ : state) {
    w.repaint();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PeerWidgetFill)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_PeerWidgetPicture(benchmark::State& state) {
  QImage picture(kClient, QImage::Format_RGB32);
  picture.fill(QColor(200, 180, 160));
  CFillWidget w(&picture);
  w.show();
  QApplication::processEvents();
  for (auto _ : state) {
    w.repaint();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PeerWidgetPicture)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  platform::CMemoryProfile profile;  // the view reads and writes its magnification here
  platform::setProfile(&profile);
  benchmark::Initialize(&argc, argv);
  fixture();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
