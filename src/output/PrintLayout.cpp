#include "output/PrintLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace print {

namespace {

/// trunc() into int, saturating instead of overflowing.
int trunc32(double v) {
  if (!(v == v)) return 0;
  if (v >= double(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (v <= double(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

/// The C library's atoi without its overflow: leading digits, saturated at INT_MAX.
int leadingInt(std::string_view s) {
  std::int64_t v = 0;
  for (const char c : s) {
    if (c < '0' || c > '9') break;
    v = std::min<std::int64_t>(v * 10 + (c - '0'), std::numeric_limits<int>::max());
  }
  return static_cast<int>(v);
}

bool digitsOnly(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string without(std::string_view s, char drop) {
  std::string out;
  for (const char c : s)
    if (c != drop) out += c;
  return out;
}

}  // namespace

MagnificationCode ParsePrintMagnification(std::string_view text) {
  if (text.empty()) return 0;
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || c == ':' || c == '%' || c == ',')) return 0;
  }
  MagnificationCode code = 0;
  const auto colon = text.find(':');
  if (colon == std::string_view::npos) {
    code = leadingInt(without(text, '%'));
  } else if (colon == 1 && text[0] == '1') {
    code = -leadingInt(without(text.substr(2), ','));
  } else {
    return 0;
  }
  if ((code >= 5 && code <= 500) || (code >= -500000 && code <= -1000)) return code;
  return 0;
}

std::string PrintMagnificationText(MagnificationCode code) {
  if (code >= 0) return std::to_string(code) + "%";
  // Appended piece by piece: GCC 12 at -O3 takes an insert into the digits for an overlapping
  // copy (-Wrestrict).
  const std::string digits = std::to_string(-static_cast<std::int64_t>(code));
  const std::size_t thousands = digits.size() >= 4 ? digits.size() - 3 : digits.size();
  std::string text = "1:";
  text.append(digits, 0, thousands);
  if (thousands < digits.size()) text.append(",").append(digits, thousands);
  return text;
}

std::string PlainMagnificationText(MagnificationCode code) {
  if (code >= 0) return std::to_string(code) + "%";
  return "1:" + std::to_string(-static_cast<std::int64_t>(code));
}

const std::vector<std::string>& MagnificationChoices() {
  static const std::vector<std::string> kChoices = {
      "10%",  "25%",  "50%",       "75%",      "100%",     "125%",     "150%",    "200%",
      "300%", "500%", "1:100,000", "1:50,000", "1:25,000", "1:10,000", "1:5,000", "1:2,500"};
  return kChoices;
}

std::optional<SScale> ComputeScaleFactors(const SDpi& dpi, double ratio) {
  if (!dpi.valid()) return std::nullopt;
  return SScale{double(dpi.printerX) / dpi.screenX * ratio, ratio * dpi.printerY / dpi.screenY};
}

int PageMapTop(PrintOptionFlags options, double dpiRatioY) {
  return (options & kOptHeaderMask) ? trunc32(dpiRatioY * 28) : trunc32(dpiRatioY * 4);
}

std::optional<SFit> FitToPaper(const SDpi& dpi, QSize page, QSize area, PrintOptionFlags options) {
  if (!dpi.valid() || area.width() <= 0 || area.height() <= 0) return std::nullopt;
  const int header = PageMapTop(options, dpi.ratioY());
  if (page.width() <= 0 || page.height() - header <= 0) return std::nullopt;
  const double fx = double(page.width()) / area.width();
  const double fy = double(page.height() - header) / area.height();
  const double rx = dpi.screenX * fx / dpi.printerX;
  const double ry = dpi.screenY * fy / dpi.printerY;
  SFit fit;
  if (rx < ry) {
    fit.ratio = rx;
    fit.scale = {fx, double(dpi.printerY) * fx / dpi.printerX};
  } else {
    fit.ratio = ry;
    fit.scale = {double(dpi.printerX) * fy / dpi.printerY, fy};
  }
  return fit;
}

int PageCount(std::int64_t total, std::int64_t page) {
  if (page <= 0 || total < page) return 1;
  const std::int64_t n = total / page + (total % page > 0 ? 1 : 0);
  return static_cast<int>(std::min<std::int64_t>(n, std::numeric_limits<int>::max()));
}

std::optional<SPageLayout> ComputePageLayout(QSize page, QSize area, const SScale& scale, PrintOptionFlags options,
                                             double dpiRatioY) {
  if (page.width() <= 0 || page.height() <= 0 || area.width() <= 0 || area.height() <= 0) return std::nullopt;
  if (!(scale.scaleX > 0) || !(scale.scaleY > 0)) return std::nullopt;
  SPageLayout l;
  l.pageWidth = page.width();
  l.pageHeight = page.height();
  l.mapTop = PageMapTop(options, dpiRatioY);
  const int usable = l.pageHeight - l.mapTop;
  if (usable <= 0) return std::nullopt;
  const double mapWidth = std::trunc(area.width() * scale.scaleX);
  const double mapHeight = std::trunc(area.height() * scale.scaleY);
  // A page grid beyond 0xFFFF pages is no print anyone wants (and no page number fits it).
  if (mapWidth / l.pageWidth > 0xFFFF || mapHeight / usable > 0xFFFF) return std::nullopt;
  l.totalWidth = static_cast<int>(mapWidth);
  l.pagesAcross = PageCount(l.totalWidth, l.pageWidth);
  // Every page repeats the header band, so the rows are counted by the map height each holds.
  l.pagesDown = PageCount(static_cast<std::int64_t>(mapHeight), usable);
  if (std::int64_t{l.pagesAcross} * l.pagesDown > 0xFFFE) return std::nullopt;
  const double totalHeight = mapHeight + double(l.pagesDown) * l.mapTop;
  if (totalHeight > std::numeric_limits<int>::max()) return std::nullopt;
  l.totalHeight = static_cast<int>(totalHeight);
  return l;
}

SPagePosition PagePosition(int page, int pagesAcross) {
  if (pagesAcross < 1 || page < 1) return {};
  const int row = (page - 1) / pagesAcross + 1;
  return {row, page - pagesAcross * (row - 1)};
}

QRect PageSourceRect(const QRect& sourceRect, const SScale& scale, QSize mapArea, SPagePosition pos) {
  const double l0 = sourceRect.left();
  const double t0 = sourceRect.top();
  const int rightEdge = sourceRect.left() + sourceRect.width();
  const int bottomEdge = sourceRect.top() + sourceRect.height();
  const double w = mapArea.width();
  const double h = mapArea.height();
  const int left = std::min(rightEdge, trunc32(l0 + (1.0 / scale.scaleX) * (w * (pos.column - 1))));
  const int right = std::min(rightEdge, trunc32(l0 + (1.0 / scale.scaleX) * (w * pos.column)));
  const int top = std::min(bottomEdge, trunc32(t0 + (1.0 / scale.scaleY) * (h * (pos.row - 1))));
  const int bottom = std::min(bottomEdge, trunc32(t0 + (1.0 / scale.scaleY) * (h * pos.row)));
  return QRect(left, top, std::max(0, right - left), std::max(0, bottom - top));
}

std::optional<SPageRange> CheckPageRange(std::string_view fromText, std::string_view toText, std::uint32_t minPage,
                                         std::uint32_t maxPage) {
  if (!digitsOnly(fromText) || !digitsOnly(toText)) return std::nullopt;
  const int from = leadingInt(fromText);
  const int to = leadingInt(toText);
  if (from <= 0 || std::uint32_t(from) < minPage || std::uint32_t(to) > maxPage || to < from) return std::nullopt;
  return SPageRange{std::uint32_t(from), std::uint32_t(to)};
}

std::string PrinterStatusText(std::uint32_t status) {
  switch (status) {
    case 0x8: return "用紙詰り";
    case 0x10: return "用紙切れ";
    case 0x80: return "オフライン状態";
    case 0x200: return "ビジー状態";
    case 0x400:
    case 0x4000: return "印刷処理中";
    case 0x2: case 0x40: case 0x100: case 0x800: case 0x1000: case 0x8000: case 0x40000: case 0x80000:
    case 0x100000: case 0x200000: case 0x800000: case 0x1000000: return "印刷不可能";
    default: return "準備完了";
  }
}

std::uint32_t PrinterStatusFromCups(int state, const std::vector<std::string>& reasons) {
  const auto has = [&reasons](std::string_view prefix) {
    return std::any_of(reasons.begin(), reasons.end(),
                       [prefix](const std::string& r) { return std::string_view(r).substr(0, prefix.size()) == prefix; });
  };
  if (has("media-jam")) return 0x8;
  if (has("media-empty") || has("media-needed")) return 0x10;
  if (has("offline") || has("shutdown")) return 0x80;
  if (state == 5) return 0x2;  // stopped: the queue accepts nothing for the printer now
  if (state == 4) return 0x400;
  return 0;
}

std::optional<SPaperThumbs> PaperViewGeometry(QSize client, const SPageLayout& layout, const SDpi& dpi) {
  if (client.width() <= 0 || client.height() <= 0 || layout.pageWidth <= 0 || layout.pageHeight <= 0 ||
      layout.pagesAcross < 1 || layout.pagesDown < 1 || !dpi.valid())
    return std::nullopt;
  const double t = double(layout.pageWidth) * dpi.printerY / (double(dpi.printerX) * layout.pageHeight);
  int w = 0;
  int h = 0;
  if ((double(client.width()) / client.height()) / (t * layout.pagesAcross) > 1.0 / layout.pagesDown) {
    h = (client.height() - layout.pagesDown * 3 - 10) / layout.pagesDown;
    w = trunc32(t * h);
  } else {
    w = (client.width() - layout.pagesAcross * 3 - 10) / layout.pagesAcross;
    h = trunc32(w / t);
  }
  if (w <= 0 || h <= 0) return std::nullopt;
  int m = trunc32(w * 0.05);
  if (m < 2) m = (w >= 5 && h >= 5) ? 2 : (w >= 2 && h > 1) ? 1 : 0;
  SPaperThumbs out;
  out.page = QSize(w, h);
  out.margin = m;
  const double inner = w - 2 * m;
  const double innerH = h - 2 * m;
  out.usedLastColumn = trunc32(inner - inner / layout.pageWidth *
                                           (double(layout.pageWidth) * layout.pagesAcross - layout.totalWidth));
  out.usedLastRow = trunc32(innerH - (double(layout.pageHeight) * layout.pagesDown - layout.totalHeight) * innerH /
                                         layout.pageHeight);
  if (out.usedLastColumn <= 0) out.usedLastColumn = 1;
  if (out.usedLastRow <= 0) out.usedLastRow = 1;
  out.origin = QPoint((client.width() - (w + 3) * layout.pagesAcross + 3) / 2,
                      (client.height() - (h + 3) * layout.pagesDown + 3) / 2);
  return out;
}

}  // namespace print
