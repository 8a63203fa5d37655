#include "SampleSheets.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace mapgen {
namespace {

// ---------------------------------------------------------------------------------------------
// Deterministic noise. Everything below is a function of the geographic position only, so
// features run on unbroken across sheet borders and look alike in both series.

constexpr std::uint64_t mix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

inline double hash01(std::int64_t i, std::int64_t j, std::uint64_t seed) {
  const std::uint64_t h = mix64(static_cast<std::uint64_t>(i) * 0x9E3779B1ULL ^
                                (static_cast<std::uint64_t>(j) << 32) ^ (seed * 0x85EBCA77ULL));
  return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0);
}

/// Smooth value noise in [-1, 1].
double noise(double x, double y, std::uint64_t seed) {
  const double fx = std::floor(x), fy = std::floor(y);
  const auto ix = static_cast<std::int64_t>(fx), iy = static_cast<std::int64_t>(fy);
  const double tx = x - fx, ty = y - fy;
  const double sx = tx * tx * tx * (tx * (tx * 6 - 15) + 10);
  const double sy = ty * ty * ty * (ty * (ty * 6 - 15) + 10);
  const double a = hash01(ix, iy, seed), b = hash01(ix + 1, iy, seed);
  const double c = hash01(ix, iy + 1, seed), d = hash01(ix + 1, iy + 1, seed);
  const double top = a + (b - a) * sx, bottom = c + (d - c) * sx;
  return 2.0 * (top + (bottom - top) * sy) - 1.0;
}

double fbm(double x, double y, int octaves, std::uint64_t seed) {
  double sum = 0, amp = 1, norm = 0;
  for (int k = 0; k < octaves; ++k) {
    sum += amp * noise(x, y, seed + static_cast<std::uint64_t>(k));
    norm += amp;
    amp *= 0.5;
    x = x * 2.03 + 11.7;
    y = y * 2.03 - 5.3;
  }
  return sum / norm;
}

double smoothstep(double e0, double e1, double v) {
  const double t = std::clamp((v - e0) / (e1 - e0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// ---------------------------------------------------------------------------------------------
// World coordinates: kilometres east (u) and north (v) of a reference point near the middle of
// the covered region, with fixed scale factors. Only feature shapes use them.

constexpr double kRefLatSec = (36 * 3600.0) + 22 * 60.0;
constexpr double kRefLonSec = (138 * 3600.0) + 57 * 60.0;
constexpr double kKmPerLonSec = 0.024945;  // at 36.4 degrees north
constexpr double kKmPerLatSec = 0.030823;

struct SLake {
  double cu, cv, ru, rv, level;
  std::uint64_t seed;
};

// The river runs west to east through the lake on the area border.
constexpr double kLakeU = 5.2, kLakeV = -0.9;

double riverRaw(double u) { return 1.8 * std::sin(u / 6.5) + 1.0 * noise(u / 2.5, 0.5, 71); }
double riverV(double u) { return riverRaw(u) - riverRaw(kLakeU) + kLakeV; }
double riverLevel(double u) { return 280.0 + 4.0 * (kLakeU - u); }

double baseHeight(double u, double v) {
  double h = 430 + 420 * fbm(u / 9.0, v / 9.0, 3, 11) + 240 * fbm(u / 2.6 + 17, v / 2.6 - 5, 3, 23);
  h += 300 * (1.0 - std::abs(noise(u / 13.0, v / 13.0, 31))) - 150;  // ridges
  h += 5.0 * (v - 0.6 * u);                                          // rises to the north-west
  return h;
}

const std::vector<SLake>& lakes() {
  static const std::vector<SLake> kLakes = [] {
    std::vector<SLake> l;
    l.push_back({kLakeU, kLakeV, 1.9, 1.15, riverLevel(kLakeU) + 0.5, 41});
    l.push_back({-23.0, 17.0, 0.9, 0.55, std::floor(baseHeight(-23.0, 17.0)) + 3.5, 43});
    l.push_back({16.0, -15.0, 0.7, 1.0, riverLevel(16.0) + 30.5, 47});
    return l;
  }();
  return kLakes;
}

double lakeRadius(const SLake& lake, double u, double v) {
  const double du = u - lake.cu, dv = v - lake.cv;
  const double r = std::hypot(du / lake.ru, dv / lake.rv);
  if (r > 3.0) return r;
  return r / (1.0 + 0.2 * noise(du * 1.4, dv * 1.4, lake.seed));
}

struct SColumn {
  double u, riverV, riverCos, riverLevel;
};

struct SGround {
  double height;  // metres
  double water;   // approximate signed distance to the nearest shoreline in metres (< 0 in water)
  double valley;  // 0 on the valley floor, 1 away from the river
};

SGround ground(const SColumn& c, double v) {
  const double u = c.u;
  double h = baseHeight(u, v);
  const double dRiver = std::abs(v - c.riverV) * 1000.0 * c.riverCos;
  const double t = std::clamp(dRiver / 2200.0, 0.0, 1.0);
  const double s = t * t * (3 - 2 * t);
  // Soft floor: the ground never dips below the river, without flat shelves.
  const double above = 80.0 * std::log1p(std::exp((h - c.riverLevel) / 80.0));
  h = c.riverLevel + 2.0 + (above + 25.0 * t) * s;
  double water = dRiver - (18.0 + 6.0 * noise(u * 3.0, 0.0, 5));
  for (const SLake& lake : lakes()) {
    const double r = lakeRadius(lake, u, v);
    if (r >= 2.4) continue;
    h = lake.level + 0.5 + (h - lake.level - 0.5) * smoothstep(1.0, 2.4, r);
    if (h < lake.level + 0.5) h = lake.level + 0.5;
    water = std::min(water, (r - 1.0) * 1000.0 * std::min(lake.ru, lake.rv));
  }
  return {std::max(h, 60.0), water, s};
}

// ---------------------------------------------------------------------------------------------
// Vector features in world kilometres: roads, settlements and labels.

enum class ERoad { Path, Local, National };

struct SRoad {
  ERoad kind;
  std::vector<std::pair<double, double>> pts;  // (u, v)
  double minU, maxU, minV, maxV;
};

struct SSettlement {
  double u, v, radiusKm;
  std::uint64_t seed;
};

struct SLabel {
  double u, v;
  int glyphs;
  double sizeFactor;
  std::uint64_t seed;
};

struct SWorld {
  std::vector<SRoad> roads;
  std::vector<SSettlement> settlements;
  std::vector<SLabel> labels;
};

constexpr double kMinU = -45, kMaxU = 33, kMinV = -28, kMaxV = 37;

bool inLake(double u, double v, double margin) {
  for (const SLake& lake : lakes())
    if (lakeRadius(lake, u, v) < 1.0 + margin) return true;
  return false;
}

void finishRoad(SRoad& r) {
  r.minU = r.minV = 1e9;
  r.maxU = r.maxV = -1e9;
  for (auto [u, v] : r.pts) {
    r.minU = std::min(r.minU, u);
    r.maxU = std::max(r.maxU, u);
    r.minV = std::min(r.minV, v);
    r.maxV = std::max(r.maxV, v);
  }
}

SWorld buildWorld() {
  SWorld w;
  // National roads: one along the north bank of the river, swinging round the lake, and one
  // from south to north crossing it.
  SRoad along{ERoad::National, {}, 0, 0, 0, 0};
  for (double u = kMinU; u <= kMaxU; u += 0.05) {
    const double bump = 1.7 * std::exp(-((u - kLakeU) / 2.4) * ((u - kLakeU) / 2.4));
    along.pts.emplace_back(u, riverV(u) + 0.55 + bump + 0.12 * noise(u / 0.8, 3.0, 9));
  }
  finishRoad(along);
  w.roads.push_back(along);
  SRoad across{ERoad::National, {}, 0, 0, 0, 0};
  for (double v = kMinV; v <= kMaxV; v += 0.05)
    across.pts.emplace_back(1.6 + 1.5 * std::sin(v / 7.0) + 0.8 * noise(v / 3.0, 7.0, 13), v);
  finishRoad(across);
  w.roads.push_back(across);

  // Local roads and paths on a jittered grid of junctions.
  constexpr double kStep = 2.6;
  const int ni = static_cast<int>((kMaxU - kMinU) / kStep) + 1;
  const int nj = static_cast<int>((kMaxV - kMinV) / kStep) + 1;
  auto node = [&](int i, int j) {
    return std::pair<double, double>{kMinU + i * kStep + 1.6 * (hash01(i, j, 101) - 0.5),
                                     kMinV + j * kStep + 1.6 * (hash01(i, j, 103) - 0.5)};
  };
  std::vector<int> degree(static_cast<std::size_t>(ni * nj), 0);
  for (int j = 0; j < nj; ++j) {
    for (int i = 0; i < ni; ++i) {
      for (int dir = 0; dir < 2; ++dir) {
        const int i2 = i + (dir == 0 ? 1 : 0), j2 = j + (dir == 1 ? 1 : 0);
        if (i2 >= ni || j2 >= nj) continue;
        if (hash01(i * 2 + dir, j, 107) > 0.62) continue;
        const auto a = node(i, j), b = node(i2, j2);
        SRoad r{ERoad::Local, {}, 0, 0, 0, 0};
        const double len = std::hypot(b.first - a.first, b.second - a.second);
        const double nu = -(b.second - a.second) / len, nv = (b.first - a.first) / len;
        const int n = static_cast<int>(len / 0.04) + 2;
        bool wet = false;
        double heightSum = 0;
        for (int k = 0; k <= n; ++k) {
          const double t = static_cast<double>(k) / n;
          const double off = 0.35 * std::sin(t * std::numbers::pi) *
                             noise(t * 3.0, (i * 31 + j) * 0.37 + dir, 109);
          const double u = a.first + (b.first - a.first) * t + nu * off;
          const double v = a.second + (b.second - a.second) * t + nv * off;
          wet = wet || inLake(u, v, 0.08);
          heightSum += baseHeight(u, v);
          r.pts.emplace_back(u, v);
        }
        if (wet) continue;
        if (heightSum / (n + 1) > 650) r.kind = ERoad::Path;
        finishRoad(r);
        w.roads.push_back(std::move(r));
        ++degree[static_cast<std::size_t>(j * ni + i)];
        ++degree[static_cast<std::size_t>(j2 * ni + i2)];
      }
    }
  }

  // Settlements at the busier junctions of the lower ground, a town where the national roads
  // meet, and villages strung along the valley road.
  for (int j = 0; j < nj; ++j) {
    for (int i = 0; i < ni; ++i) {
      const auto p = node(i, j);
      if (degree[static_cast<std::size_t>(j * ni + i)] < 2 || inLake(p.first, p.second, 0.4)) continue;
      if (baseHeight(p.first, p.second) > 620 || hash01(i, j, 113) > 0.55) continue;
      w.settlements.push_back({p.first, p.second, 0.25 + 0.35 * hash01(i, j, 127),
                               static_cast<std::uint64_t>(j * ni + i) + 1000});
    }
  }
  const double townV = riverV(1.6) + 0.55;
  w.settlements.push_back({1.8, townV + 0.4, 0.9, 7});
  for (double u = kMinU + 3; u < kMaxU; u += 6.3) {
    if (std::abs(u - kLakeU) < 4) continue;
    w.settlements.push_back({u, riverV(u) + 0.7, 0.35, static_cast<std::uint64_t>(u * 10 + 500)});
  }
  for (const SSettlement& s : w.settlements)
    w.labels.push_back({s.u, s.v + s.radiusKm + 0.25, 2 + static_cast<int>(s.seed % 3), 1.0, s.seed});
  for (const SLake& lake : lakes())
    w.labels.push_back({lake.cu, lake.cv + 0.1, 3, 1.3, lake.seed});
  return w;
}

const SWorld& world() {
  static const SWorld kWorld = buildWorld();
  return kWorld;
}

// ---------------------------------------------------------------------------------------------
// Rasterising into one sheet.

struct SCanvas {
  std::vector<std::uint8_t>& px;
  int width, height;
  int cx0, cy0, cx1, cy1;  // drawable area (the map inside the frame), cx1/cy1 exclusive
  // Affine map from world km to image pixel coordinates (pixel centres at integer + 0.5).
  double ax, bx, ay, by;
  double pixelMetres;
  double toX(double u) const { return ax + bx * u; }
  double toY(double v) const { return ay - by * v; }
  double toU(double x) const { return (x - ax) / bx; }
  double toV(double y) const { return (ay - y) / by; }
};

template <class Op>
void stampSegment(SCanvas& c, double xa, double ya, double xb, double yb, double radius, Op op) {
  const int minX = std::max(c.cx0, static_cast<int>(std::floor(std::min(xa, xb) - radius)));
  const int maxX = std::min(c.cx1 - 1, static_cast<int>(std::ceil(std::max(xa, xb) + radius)));
  const int minY = std::max(c.cy0, static_cast<int>(std::floor(std::min(ya, yb) - radius)));
  const int maxY = std::min(c.cy1 - 1, static_cast<int>(std::ceil(std::max(ya, yb) + radius)));
  if (minX > maxX || minY > maxY) return;
  const double dx = xb - xa, dy = yb - ya;
  const double len2 = dx * dx + dy * dy;
  const double r2 = radius * radius;
  for (int y = minY; y <= maxY; ++y) {
    const double py = y + 0.5;
    std::uint8_t* row = c.px.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(c.width);
    for (int x = minX; x <= maxX; ++x) {
      const double pxc = x + 0.5;
      double t = len2 > 0 ? ((pxc - xa) * dx + (py - ya) * dy) / len2 : 0.0;
      t = std::clamp(t, 0.0, 1.0);
      const double ex = xa + t * dx - pxc, ey = ya + t * dy - py;
      if (ex * ex + ey * ey <= r2) op(row[x]);
    }
  }
}

template <class Op>
void stampRoad(SCanvas& c, const SRoad& r, double radius, Op op) {
  const double margin = (radius + 2) / c.bx;
  if (r.maxU < c.toU(c.cx0) - margin || r.minU > c.toU(c.cx1) + margin) return;
  if (r.maxV < c.toV(c.cy1) - margin || r.minV > c.toV(c.cy0) + margin) return;
  for (std::size_t k = 1; k < r.pts.size(); ++k)
    stampSegment(c, c.toX(r.pts[k - 1].first), c.toY(r.pts[k - 1].second), c.toX(r.pts[k].first),
                 c.toY(r.pts[k].second), radius, op);
}

void drawTerrain(SCanvas& c, ESeries series, const SLayerBits& bits) {
  const int w = c.cx1 - c.cx0;
  const double interval = series == ESeries::Map25000 ? 10.0 : 20.0;
  const double p = c.pixelMetres;
  // The ground is evaluated on a grid of every kGrid-th pixel and interpolated in between:
  // the noise is smooth at that scale and this keeps a sheet within a second.
  constexpr int kGrid = 4;
  const int nodes = (w + 2) / kGrid + 2;
  std::vector<SColumn> cols(static_cast<std::size_t>(nodes));
  for (int k = 0; k < nodes; ++k) {
    const double u = c.toU(c.cx0 - 1 + k * kGrid + 0.5);
    const double dv = riverV(u + 0.01) - riverV(u - 0.01);
    cols[static_cast<std::size_t>(k)] = {u, riverV(u), 1.0 / std::sqrt(1.0 + (dv / 0.02) * (dv / 0.02)),
                                         riverLevel(u)};
  }
  std::vector<SGround> coarse[2];
  int coarseRow = -10;  // grid row held in coarse[0]
  auto coarseFill = [&](std::vector<SGround>& out, int j) {
    out.resize(cols.size());
    const double v = c.toV(c.cy0 - 1 + j * kGrid + 0.5);
    for (std::size_t k = 0; k < cols.size(); ++k) out[k] = ground(cols[k], v);
  };
  // Three interpolated pixel rows around the current one for the height gradient.
  std::vector<SGround> rows[3];
  auto fill = [&](std::vector<SGround>& out, int y) {
    const int fy = y - c.cy0 + 1;
    const int j = fy / kGrid;
    if (j == coarseRow + 1) {
      std::swap(coarse[0], coarse[1]);
      coarseFill(coarse[1], j + 1);
      coarseRow = j;
    } else if (j != coarseRow) {
      coarseFill(coarse[0], j);
      coarseFill(coarse[1], j + 1);
      coarseRow = j;
    }
    const double ty = static_cast<double>(fy % kGrid) / kGrid;
    out.resize(static_cast<std::size_t>(w + 2));
    for (int i = 0; i < w + 2; ++i) {
      const auto k = static_cast<std::size_t>(i / kGrid);
      const double tx = static_cast<double>(i % kGrid) / kGrid;
      auto lerp2 = [&](double SGround::*f) {
        const double top = coarse[0][k].*f + (coarse[0][k + 1].*f - coarse[0][k].*f) * tx;
        const double bottom = coarse[1][k].*f + (coarse[1][k + 1].*f - coarse[1][k].*f) * tx;
        return top + (bottom - top) * ty;
      };
      out[static_cast<std::size_t>(i)] = {lerp2(&SGround::height), lerp2(&SGround::water), lerp2(&SGround::valley)};
    }
  };
  fill(rows[0], c.cy0 - 1);
  fill(rows[1], c.cy0);
  // Paddy symbols sit on a world grid of 16-pixel cells, staggered every other row.
  const double cell = 16.0 * p / 1000.0;
  for (int y = c.cy0; y < c.cy1; ++y) {
    fill(rows[2], y + 1);
    const auto& up = rows[0];
    const auto& mid = rows[1];
    const auto& down = rows[2];
    std::uint8_t* out = c.px.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(c.width);
    const double v = c.toV(y + 0.5);
    for (int x = c.cx0; x < c.cx1; ++x) {
      const std::size_t i = static_cast<std::size_t>(x - c.cx0 + 1);
      const SGround& g = mid[i];
      std::uint8_t value = 0;
      if (g.water < 0) value |= bits.water;
      if (std::abs(g.water) < 0.8 * p) value |= bits.shore;
      if (g.water > 0.8 * p) {
        const double gx = (mid[i + 1].height - mid[i - 1].height) * 0.5;
        const double gy = (down[i].height - up[i].height) * 0.5;
        const double grad = std::sqrt(gx * gx + gy * gy);
        const double level = std::round(g.height / interval);
        const double dist = std::abs(g.height - level * interval) / std::max(grad, 1e-6);
        const bool index = static_cast<long>(level) % 5 == 0;
        if (dist < (index ? 1.05 : 0.55)) value |= bits.contour;
        // Rice fields on the flat valley floor.
        if (g.valley < 0.45 && grad / p < 0.03 && g.water > 3 * p) {
          const double cy = v / cell;
          const double rowIndex = std::floor(cy);
          const double cx = c.toU(x + 0.5) / cell + (static_cast<long>(rowIndex) % 2 != 0 ? 0.5 : 0.0);
          const double fx = (cx - std::floor(cx)) * 16.0, fy = (1.0 - (cy - rowIndex)) * 16.0;
          if (fy >= 5 && fy < 11 && ((fx >= 5 && fx < 6.5) || (fx >= 9.5 && fx < 11))) value |= bits.shore;
        }
      }
      out[x] = value;
    }
    std::swap(rows[0], rows[1]);
    std::swap(rows[1], rows[2]);
  }
}

void drawSettlements(SCanvas& c, const SLayerBits& bits) {
  const double p = c.pixelMetres;
  for (const SSettlement& s : world().settlements) {
    const double cx = c.toX(s.u), cy = c.toY(s.v);
    const double rPx = s.radiusKm * 1.4 * c.bx;
    const int minX = std::max(c.cx0, static_cast<int>(cx - rPx)), maxX = std::min(c.cx1 - 1, static_cast<int>(cx + rPx));
    const int minY = std::max(c.cy0, static_cast<int>(cy - rPx)), maxY = std::min(c.cy1 - 1, static_cast<int>(cy + rPx));
    for (int y = minY; y <= maxY; ++y) {
      for (int x = minX; x <= maxX; ++x) {
        const double u = c.toU(x + 0.5), v = c.toV(y + 0.5);
        const double d = std::sqrt((u - s.u) * (u - s.u) + (v - s.v) * (v - s.v)) / s.radiusKm;
        if (d >= 1.3) continue;
        const double r = d <= 0.7 ? d : d + 0.3 * noise(u / 0.25, v / 0.25, s.seed);
        std::uint8_t& px = c.px[static_cast<std::size_t>(y) * static_cast<std::size_t>(c.width) + static_cast<std::size_t>(x)];
        if (r < 1.0 && (px & bits.water) == 0) px |= bits.trees;
      }
    }
    // Houses on a jittered world grid of 45 m lots.
    constexpr double kLot = 0.045;
    const int li0 = static_cast<int>(std::floor((s.u - s.radiusKm) / kLot));
    const int li1 = static_cast<int>(std::ceil((s.u + s.radiusKm) / kLot));
    const int lj0 = static_cast<int>(std::floor((s.v - s.radiusKm) / kLot));
    const int lj1 = static_cast<int>(std::ceil((s.v + s.radiusKm) / kLot));
    for (int lj = lj0; lj <= lj1; ++lj) {
      for (int li = li0; li <= li1; ++li) {
        const double hu = (li + 0.2 + 0.6 * hash01(li, lj, 131)) * kLot;
        const double hv = (lj + 0.2 + 0.6 * hash01(li, lj, 137)) * kLot;
        const double d = std::hypot(hu - s.u, hv - s.v) / s.radiusKm;
        if (d > 0.85 || hash01(li, lj, 139) > 0.75 - 0.5 * d || inLake(hu, hv, 0.05)) continue;
        const double halfM = 5.0 + 5.0 * hash01(li, lj, 149);
        const double half = std::max(halfM / p, 1.0);
        const int x0 = static_cast<int>(c.toX(hu) - half), x1 = static_cast<int>(c.toX(hu) + half);
        const int y0 = static_cast<int>(c.toY(hv) - half), y1 = static_cast<int>(c.toY(hv) + half);
        for (int y = std::max(y0, c.cy0); y <= std::min(y1, c.cy1 - 1); ++y)
          for (int x = std::max(x0, c.cx0); x <= std::min(x1, c.cx1 - 1); ++x)
            c.px[static_cast<std::size_t>(y) * static_cast<std::size_t>(c.width) + static_cast<std::size_t>(x)] |= bits.road;
      }
    }
  }
}

void drawRoads(SCanvas& c, ESeries series, const SLayerBits& bits) {
  const bool large = series == ESeries::Map25000;
  const double localR = large ? 3.6 : 2.6, nationalR = large ? 5.2 : 4.0, pathR = large ? 0.75 : 0.6;
  const double casing = large ? 1.6 : 1.3;
  const std::uint8_t keep = bits.text | bits.halo;
  auto orRoad = [&](std::uint8_t& v) { v |= bits.road; };
  auto clear = [&](std::uint8_t& v) { v &= keep; };
  auto national = [&](std::uint8_t& v) { v = static_cast<std::uint8_t>((v & keep) | bits.national); };
  const auto& roads = world().roads;
  for (const SRoad& r : roads)
    if (r.kind == ERoad::Path) stampRoad(c, r, pathR, orRoad);
  for (const SRoad& r : roads)
    if (r.kind == ERoad::Local) stampRoad(c, r, localR, orRoad);
  for (const SRoad& r : roads)
    if (r.kind == ERoad::National) stampRoad(c, r, nationalR, orRoad);
  for (const SRoad& r : roads)
    if (r.kind == ERoad::Local) stampRoad(c, r, localR - casing, clear);
  for (const SRoad& r : roads)
    if (r.kind == ERoad::National) stampRoad(c, r, nationalR - casing, national);
}

/// Strokes of a made-up character on a 4 x 4 grid: (x0, y0, x1, y1).
std::vector<std::array<int, 4>> glyphStrokes(std::uint64_t seed) {
  std::vector<std::array<int, 4>> s;
  const std::uint64_t h = mix64(seed);
  if ((h & 3) == 0) {  // an enclosed box with a bar
    s.push_back({0, 1, 4, 1});
    s.push_back({0, 4, 4, 4});
    s.push_back({0, 1, 0, 4});
    s.push_back({4, 1, 4, 4});
    s.push_back({0, 2 + static_cast<int>((h >> 2) & 1), 4, 2 + static_cast<int>((h >> 2) & 1)});
    return s;
  }
  // A long bar or stem gives each character its frame; short strokes fill it in.
  const int axis = 1 + static_cast<int>((h >> 6) % 3);
  if ((h >> 5) & 1) s.push_back({0, axis, 4, axis});
  else s.push_back({axis, 0, axis, 4});
  const int n = 3 + static_cast<int>((h >> 2) % 4);
  for (int k = 0; k < n; ++k) {
    const std::uint64_t g = mix64(seed * 31 + static_cast<std::uint64_t>(k));
    const int a = static_cast<int>(g % 5), b0 = static_cast<int>((g >> 8) % 3), b1 = b0 + 2 + static_cast<int>((g >> 12) % 2);
    switch ((g >> 16) % 5) {
      case 0: case 1: s.push_back({b0, a, std::min(b1, 4), a}); break;   // horizontal
      case 2: case 3: s.push_back({a, b0, a, std::min(b1, 4)}); break;   // vertical
      default: s.push_back({b0, b0, std::min(b1, 4), std::min(b1 + 1, 4)}); break;  // slanted
    }
  }
  return s;
}

void drawLabels(SCanvas& c, ESeries series, const SLayerBits& bits) {
  const double base = series == ESeries::Map25000 ? 36.0 : 30.0;
  const double stroke = series == ESeries::Map25000 ? 1.6 : 1.4;
  const double halo = stroke + 2.4;
  for (int pass = 0; pass < 2; ++pass) {
    for (const SLabel& l : world().labels) {
      const double size = base * l.sizeFactor;
      const double ax = c.toX(l.u), ay = c.toY(l.v);
      const double advance = size * 1.15;
      const double left = ax - advance * l.glyphs / 2.0;
      if (left > c.cx1 + 10 || left + advance * l.glyphs < c.cx0 - 10 || ay < c.cy0 - size || ay > c.cy1 + size)
        continue;
      for (int g = 0; g < l.glyphs; ++g) {
        const double gx = left + g * advance, gy = ay - size / 2;
        for (const auto& s : glyphStrokes(l.seed * 7 + static_cast<std::uint64_t>(g))) {
          const double q = size / 4.0;
          const double xa = gx + s[0] * q, ya = gy + s[1] * q, xb = gx + s[2] * q, yb = gy + s[3] * q;
          if (pass == 0)
            stampSegment(c, xa, ya, xb, yb, halo, [&](std::uint8_t& v) {
              v = static_cast<std::uint8_t>((v & bits.text) | bits.halo);
            });
          else
            stampSegment(c, xa, ya, xb, yb, stroke, [&](std::uint8_t& v) { v |= bits.text; });
        }
      }
    }
  }
}

void drawFrame(SCanvas& c, const SLayerBits& bits) {
  auto set = [&](int x, int y) {
    if (x >= 0 && y >= 0 && x < c.width && y < c.height)
      c.px[static_cast<std::size_t>(y) * static_cast<std::size_t>(c.width) + static_cast<std::size_t>(x)] = bits.text;
  };
  for (int x = c.cx0 - 2; x <= c.cx1 + 1; ++x)
    for (int k = 1; k <= 2; ++k) {
      set(x, c.cy0 - k);
      set(x, c.cy1 - 1 + k);
    }
  for (int y = c.cy0 - 2; y <= c.cy1 + 1; ++y)
    for (int k = 1; k <= 2; ++k) {
      set(c.cx0 - k, y);
      set(c.cx1 - 1 + k, y);
    }
}

// Bessel ellipsoid radii of curvature at a latitude (the frame's datum).
double besselN(double phi) {
  constexpr double a = 6377397.155, f = 1 / 299.1528128;
  const double e2 = f * (2 - f);
  return a / std::sqrt(1 - e2 * std::sin(phi) * std::sin(phi));
}
double besselM(double phi) {
  constexpr double a = 6377397.155, f = 1 / 299.1528128;
  const double e2 = f * (2 - f);
  const double w = 1 - e2 * std::sin(phi) * std::sin(phi);
  return a * (1 - e2) / (w * std::sqrt(w));
}

constexpr double kSecToRad = std::numbers::pi / (180.0 * 3600.0);

}  // namespace

SLayerBits layerBits(ESeries series) {
  if (series == ESeries::Map25000) return {1, 2, 4, 8, 16, 32, 64, 128};
  return {2, 4, 1, 8, 16, 32, 64, 128};
}

std::uint32_t defaultColour(ESeries series, std::uint8_t value) {
  // Colours of the display slots 0..8 as 0xRRGGBB.
  static constexpr std::uint32_t kSlot[9] = {0xFFFFFF, 0xFFFFFF, 0x000000, 0xB98456, 0x4797E9,
                                             0xA0C9F4, 0x85A47F, 0x484848, 0xD4B397};
  static constexpr int kSlotOfBit25[8] = {8, 5, 6, 3, 4, 7, 1, 2};
  static constexpr int kSlotOfBit50[8] = {6, 8, 5, 3, 4, 7, 1, 2};
  const int* slots = series == ESeries::Map25000 ? kSlotOfBit25 : kSlotOfBit50;
  for (int b = 7; b >= 0; --b)
    if (value & (1u << b)) return kSlot[slots[b]];
  return kSlot[0];
}

SSheet makeSheet(ESeries series, const std::string& mesh, const char* nameUtf8, const char* readingUtf8,
                 double pixelMetres) {
  SSheet s;
  s.series = series;
  s.mesh = mesh;
  s.area = mesh.substr(0, 4);
  s.nameUtf8 = nameUtf8;
  s.readingUtf8 = readingUtf8;
  const int pq = std::atoi(mesh.substr(0, 2).c_str()), rs = std::atoi(mesh.substr(2, 2).c_str());
  s.row = mesh[4] - '0';
  s.col = mesh[5] - '0';
  const int span = series == ESeries::Map25000 ? 1 : 2;
  s.southSec = pq * 40 * 60 + s.row * 300;
  s.northSec = s.southSec + 300 * span;
  s.westSec = (100 + rs) * 3600 + s.col * 450;
  s.eastSec = s.westSec + 450 * span;
  s.pixelMetres = pixelMetres > 0 ? pixelMetres : series == ESeries::Map25000 ? 2.5 : 5.0;
  const double north = s.northSec * kSecToRad, south = s.southSec * kSecToRad, mid = (north + south) / 2;
  const double dLon = (s.eastSec - s.westSec) * kSecToRad;
  s.groundNorthM = besselN(north) * std::cos(north) * dLon;
  s.groundSouthM = besselN(south) * std::cos(south) * dLon;
  s.groundHeightM = besselM(mid) * (north - south);
  const double widthM = besselN(mid) * std::cos(mid) * dLon;
  constexpr int kMarginX = 48, kMarginY = 24;
  s.x0 = kMarginX;
  s.y0 = kMarginY;
  s.x1 = s.x0 + static_cast<int>(std::lround(widthM / s.pixelMetres));
  s.y1 = s.y0 + static_cast<int>(std::lround(s.groundHeightM / s.pixelMetres));
  s.width = s.x1 + kMarginX;
  s.height = s.y1 + kMarginY;
  return s;
}

void varyFrameCorners(SSheet& s) {
  const int marginX = s.width - s.x1, marginY = s.height - s.y1;
  const std::uint64_t h = mix64(static_cast<std::uint64_t>(std::atoll(s.mesh.c_str())) * 0x9E3779B1ULL +
                                static_cast<std::uint64_t>(s.series));
  auto shift = [&](int k) { return static_cast<int>((h >> (8 * k)) % 7) - 3; };
  s.x0 += shift(0);
  s.y0 += shift(1);
  s.x1 += shift(2);
  s.y1 += shift(3);
  s.width = s.x1 + marginX;
  s.height = s.y1 + marginY;
}

SGroundCentre groundCentre() {
  return {static_cast<int>(std::lround(kRefLatSec + (kMinV + kMaxV) / 2 / kKmPerLatSec)),
          static_cast<int>(std::lround(kRefLonSec + (kMinU + kMaxU) / 2 / kKmPerLonSec))};
}

SPlaceName placeName(std::uint64_t seed, bool shortName) {
  struct SPart {
    const char *name, *reading;
  };
  static constexpr SPart kFirst[] = {
      {"上", "かみ"}, {"下", "しも"}, {"東", "ひがし"}, {"西", "にし"}, {"北", "きた"},   {"南", "みなみ"},
      {"新", "しん"}, {"古", "ふる"}, {"大", "おお"},   {"小", "こ"},   {"高", "たか"},   {"長", "なが"},
      {"白", "しら"}, {"黒", "くろ"}, {"赤", "あか"},   {"青", "あお"}, {"朝", "あさ"},   {"霧", "きり"},
  };
  static constexpr SPart kSecond[] = {
      {"田", "た"},   {"沢", "さわ"}, {"川", "かわ"}, {"山", "やま"},   {"石", "いし"}, {"松", "まつ"},
      {"杉", "すぎ"}, {"梅", "うめ"}, {"竹", "たけ"}, {"岩", "いわ"},   {"森", "もり"}, {"井", "い"},
      {"橋", "はし"}, {"宮", "みや"}, {"峰", "みね"}, {"桜", "さくら"}, {"鷺", "さぎ"}, {"霞", "かすみ"},
  };
  static constexpr SPart kThird[] = {
      {"野", "の"}, {"原", "はら"}, {"台", "だい"}, {"町", "まち"}, {"谷", "だに"}, {"平", "だいら"}, {"村", "むら"},
  };
  const std::uint64_t h = mix64(seed);
  const SPart& a = kFirst[h % std::size(kFirst)];
  const SPart& b = kSecond[(h >> 16) % std::size(kSecond)];
  SPlaceName n{std::string(a.name) + b.name, std::string(a.reading) + b.reading};
  if (!shortName && (h >> 32) % 3 != 0) {
    const SPart& c = kThird[(h >> 40) % std::size(kThird)];
    n.nameUtf8 += c.name;
    n.readingUtf8 += c.reading;
  }
  return n;
}

std::vector<SArea> sampleAreas() { return {{"5438", "朝霧"}, {"5439", "白鷺"}}; }

std::vector<SSheet> sampleSheets(ESeries series) {
  struct SName {
    const char *mesh, *name, *reading;
  };
  static constexpr SName k25[] = {
      {"543836", "柚ノ木", "ゆのき"},   {"543837", "下河原", "しもがわら"}, {"543846", "大日向", "おおひなた"},
      {"543847", "湖北", "こほく"},     {"543856", "鷹ノ巣山", "たかのすやま"}, {"543857", "黒沢", "くろさわ"},
      {"543930", "松葉台", "まつばだい"}, {"543940", "霞野", "かすみの"},     {"543950", "東小野", "ひがしおの"},
  };
  static constexpr SName k50[] = {
      {"543824", "柚木", "ゆのき"},   {"543826", "河原田", "かわらだ"}, {"543844", "大日向", "おおひなた"},
      {"543846", "湖城", "こじょう"}, {"543864", "白峰", "しらみね"},   {"543866", "鷹ノ巣", "たかのす"},
      {"543920", "松葉", "まつば"},   {"543940", "霞野", "かすみの"},   {"543960", "東原", "ひがしはら"},
  };
  std::vector<SSheet> out;
  if (series == ESeries::Map25000)
    for (const SName& n : k25) out.push_back(makeSheet(series, n.mesh, n.name, n.reading));
  else
    for (const SName& n : k50) out.push_back(makeSheet(series, n.mesh, n.name, n.reading));
  return out;
}

void renderSheet(const SSheet& sheet, std::vector<std::uint8_t>& pixels) {
  pixels.assign(static_cast<std::size_t>(sheet.width) * static_cast<std::size_t>(sheet.height), 0);
  SCanvas c{pixels, sheet.width, sheet.height, sheet.x0, sheet.y0, sheet.x1, sheet.y1, 0, 0, 0, 0, sheet.pixelMetres};
  // Image column x0 is the west frame line, x1 the east one; the same for rows.
  const double pxPerLonSec = static_cast<double>(sheet.x1 - sheet.x0) / (sheet.eastSec - sheet.westSec);
  const double pxPerLatSec = static_cast<double>(sheet.y1 - sheet.y0) / (sheet.northSec - sheet.southSec);
  c.bx = pxPerLonSec / kKmPerLonSec;
  c.ax = sheet.x0 + (kRefLonSec - sheet.westSec) * pxPerLonSec;
  c.by = pxPerLatSec / kKmPerLatSec;
  c.ay = sheet.y0 + (sheet.northSec - kRefLatSec) * pxPerLatSec;
  const SLayerBits bits = layerBits(sheet.series);
  drawTerrain(c, sheet.series, bits);
  drawSettlements(c, bits);
  drawRoads(c, sheet.series, bits);
  drawLabels(c, sheet.series, bits);
  drawFrame(c, bits);
}

}  // namespace mapgen
