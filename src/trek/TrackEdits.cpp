#include "trek/TrackEdits.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <queue>

namespace trek {

namespace {

constexpr double kEarthRadiusMetres = 6371008.8;
constexpr double kNegligibleMetres = 0.001;

std::int32_t lowered(std::int32_t number, std::int64_t by) {
  // Numbers come from files; never step below the smallest value.
  return static_cast<std::int32_t>(
      std::max<std::int64_t>(std::numeric_limits<std::int32_t>::min(), std::int64_t{number} - by));
}

void numberFromZero(std::vector<CTrackPoint>& points) {
  for (std::size_t i = 0; i < points.size(); ++i)
    points[i].number = static_cast<std::int32_t>(std::min<std::size_t>(i, std::numeric_limits<std::int32_t>::max()));
}

// Keeps the points `keep` marks; each kept point is numbered lower by the points dropped before it.
void keepMarked(std::vector<CTrackPoint>& points, const std::vector<bool>& keep) {
  std::size_t out = 0;
  std::int64_t dropped = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (!keep[i]) {
      ++dropped;
      continue;
    }
    CTrackPoint p = points[i];
    p.number = lowered(p.number, dropped);
    points[out++] = p;
  }
  points.resize(out);
}

std::optional<std::int32_t> firstTime(const CTrackLog& log) {
  for (const CTrackPoint& p : log.Points())
    if (p.time.HasTime()) return p.time.Count();
  return std::nullopt;
}

struct SXY {
  double x, y;
};

// Metres on a plane tangent at the middle latitude of the points: enough for the few
// kilometres between neighbouring kept points of a walk.
std::vector<SXY> groundPlane(std::span<const CTrackPoint> points) {
  double lo = 90.0, hi = -90.0;
  for (const CTrackPoint& p : points) {
    lo = std::min(lo, p.latitude.ToDegrees());
    hi = std::max(hi, p.latitude.ToDegrees());
  }
  const double rad = std::numbers::pi / 180.0;
  const double cosLat = std::cos((lo + hi) / 2.0 * rad);
  std::vector<SXY> xy;
  xy.reserve(points.size());
  for (const CTrackPoint& p : points)
    xy.push_back({p.longitude.ToDegrees() * rad * kEarthRadiusMetres * cosLat,
                  p.latitude.ToDegrees() * rad * kEarthRadiusMetres});
  return xy;
}

double distanceToSegment(const SXY& p, const SXY& a, const SXY& b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double len2 = dx * dx + dy * dy;
  double t = 0.0;
  if (len2 > 0.0) t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0);
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

struct SSegment {
  std::size_t a, b;    // kept ends
  std::size_t worst;   // interior point farthest from a-b
  double deviation;    // its distance
  bool operator<(const SSegment& o) const {
    if (deviation != o.deviation) return deviation < o.deviation;
    return a > o.a;  // on a tie the earlier stretch first, so plans are reproducible
  }
};

// Douglas-Peucker taken in order of deviation: the stretch whose farthest point is farthest
// is split first. Stopping after a count or below a tolerance gives the same points as the
// recursive form would for that tolerance.
class CThinner {
 public:
  explicit CThinner(std::span<const CTrackPoint> points) : m_xy(groundPlane(points)), m_keep(points.size(), false) {
    if (points.empty()) return;
    m_keep.front() = m_keep.back() = true;
    m_count = points.size() == 1 ? 1 : 2;
    push(0, points.size() - 1);
  }
  [[nodiscard]] double nextDeviation() const { return m_queue.empty() ? 0.0 : m_queue.top().deviation; }
  // A point less than a millimetre off the line adds nothing but rounding.
  [[nodiscard]] bool canSplit() const { return !m_queue.empty() && m_queue.top().deviation > kNegligibleMetres; }
  [[nodiscard]] std::size_t count() const { return m_count; }
  void split() {
    const SSegment s = m_queue.top();
    m_queue.pop();
    m_keep[s.worst] = true;
    ++m_count;
    push(s.a, s.worst);
    push(s.worst, s.b);
  }
  [[nodiscard]] SThinPlan plan() const {
    SThinPlan p;
    for (std::size_t i = 0; i < m_keep.size(); ++i)
      if (m_keep[i]) p.kept.push_back(i);
    p.maxErrorMetres = nextDeviation();
    return p;
  }

 private:
  void push(std::size_t a, std::size_t b) {
    if (b <= a + 1) return;
    SSegment s{a, b, a + 1, -1.0};
    for (std::size_t i = a + 1; i < b; ++i) {
      const double d = distanceToSegment(m_xy[i], m_xy[a], m_xy[b]);
      if (d > s.deviation) {
        s.deviation = d;
        s.worst = i;
      }
    }
    m_queue.push(s);
  }

  std::vector<SXY> m_xy;
  std::vector<bool> m_keep;
  std::size_t m_count = 0;
  std::priority_queue<SSegment> m_queue;
};

}  // namespace

std::string TrackEditErrorText(ETrackEditError error) {
  switch (error) {
    case ETrackEditError::None: return {};
    case ETrackEditError::NoSuchPoint: return "指定されたトラックポイントがありません。";
    case ETrackEditError::SplitAtEnd: return "トラックログの最初と最後のポイントでは分割できません。";
    case ETrackEditError::TooFewLogs: return "結合するトラックログを2つ以上選んでください。";
    case ETrackEditError::SameLogTwice: return "同じトラックログが2回指定されています。";
    case ETrackEditError::EmptyRange: return "削除する範囲の始めが終わりより後になっています。";
    case ETrackEditError::WholeLog: return "すべてのポイントは削除できません。トラックログを削除してください。";
    case ETrackEditError::BadThinTarget: return "間引き後のポイント数は2以上、許容誤差は0m以上で指定してください。";
  }
  return {};
}

SSplitResult SplitTrackLog(CTrackLog& log, std::size_t at) {
  SSplitResult r;
  auto& points = log.Points();
  if (at >= points.size()) {
    r.error = ETrackEditError::NoSuchPoint;
    return r;
  }
  if (at == 0 || at + 1 == points.size()) {
    r.error = ETrackEditError::SplitAtEnd;
    return r;
  }
  r.second = std::make_unique<CTrackLog>();
  CTrackLog& second = *r.second;
  second.name = log.name + " (2)";
  second.gpsName = log.gpsName;
  second.color = log.color;
  second.reserved = log.reserved;
  second.display = log.display;
  second.reserved2 = log.reserved2;
  second.description1 = log.description1;
  second.description2 = log.description2;
  second.SetSendAsActiveLog(log.SendAsActiveLog());
  second.Points().assign(points.begin() + std::ptrdiff_t(at), points.end());
  numberFromZero(second.Points());
  points.resize(at + 1);
  return r;
}

ETrackEditError CheckJoin(std::span<const CTrackLog* const> logs) {
  if (logs.size() < 2) return ETrackEditError::TooFewLogs;
  for (std::size_t i = 0; i < logs.size(); ++i)
    for (std::size_t j = i + 1; j < logs.size(); ++j)
      if (logs[i] == logs[j]) return ETrackEditError::SameLogTwice;
  return ETrackEditError::None;
}

std::vector<std::size_t> JoinOrder(std::span<const CTrackLog* const> logs, EJoinOrder order) {
  std::vector<std::size_t> idx(logs.size());
  for (std::size_t i = 0; i < idx.size(); ++i) idx[i] = i;
  if (order == EJoinOrder::AsGiven) return idx;
  std::vector<std::optional<std::int32_t>> times;
  for (const CTrackLog* l : logs) times.push_back(firstTime(*l));
  std::stable_sort(idx.begin(), idx.end(), [&](std::size_t a, std::size_t b) {
    if (!times[a] || !times[b]) return times[a].has_value() && !times[b].has_value();
    return *times[a] < *times[b];
  });
  return idx;
}

CTrackLog JoinTrackLogs(std::span<const CTrackLog* const> logs, std::span<const std::size_t> order) {
  CTrackLog joined;
  if (order.empty()) return joined;
  const CTrackLog& first = *logs[order.front()];
  joined = first;
  joined.Points().clear();
  std::size_t total = 0;
  for (std::size_t i : order) total += logs[i]->Points().size();
  joined.Points().reserve(total);
  for (std::size_t i : order) {
    const auto& p = logs[i]->Points();
    joined.Points().insert(joined.Points().end(), p.begin(), p.end());
  }
  numberFromZero(joined.Points());
  return joined;
}

ETrackEditError DeleteTrackPoints(CTrackLog& log, std::size_t from, std::size_t to) {
  auto& points = log.Points();
  if (from >= points.size() || to >= points.size()) return ETrackEditError::NoSuchPoint;
  if (from > to) return ETrackEditError::EmptyRange;
  if (from == 0 && to + 1 == points.size()) return ETrackEditError::WholeLog;
  std::vector<bool> keep(points.size(), true);
  std::fill(keep.begin() + std::ptrdiff_t(from), keep.begin() + std::ptrdiff_t(to) + 1, false);
  keepMarked(points, keep);
  return ETrackEditError::None;
}

void ReverseTrackLog(CTrackLog& log) {
  std::reverse(log.Points().begin(), log.Points().end());
  numberFromZero(log.Points());
}

SThinPlan PlanThinToCount(std::span<const CTrackPoint> points, std::size_t count) {
  if (count < 2) {
    SThinPlan bad;
    bad.error = ETrackEditError::BadThinTarget;
    return bad;
  }
  CThinner t(points);
  while (t.count() < count && t.canSplit()) t.split();
  return t.plan();
}

SThinPlan PlanThinToTolerance(std::span<const CTrackPoint> points, double toleranceMetres) {
  if (!(toleranceMetres >= 0.0) || !std::isfinite(toleranceMetres)) {
    SThinPlan bad;
    bad.error = ETrackEditError::BadThinTarget;
    return bad;
  }
  CThinner t(points);
  while (t.canSplit() && t.nextDeviation() > toleranceMetres) t.split();
  return t.plan();
}

void ApplyThin(CTrackLog& log, const SThinPlan& plan) {
  std::vector<bool> keep(log.Points().size(), false);
  for (std::size_t i : plan.kept)
    if (i < keep.size()) keep[i] = true;
  keepMarked(log.Points(), keep);
}

}  // namespace trek
