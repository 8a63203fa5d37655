#include "display/ui/TrekFigures.h"

namespace trek_figures {

QString lengthText(double metres) {
  return metres < 1000.0 ? QString::asprintf("%.0fm", metres) : QString::asprintf("%.2fkm", metres / 1000.0);
}

QString durationText(const std::optional<std::int64_t>& seconds) {
  if (!seconds) return kAbsent;
  const long long s = *seconds;
  if (s >= 3600) return QString::asprintf("%lld時間%lld分", s / 3600, s % 3600 / 60);
  if (s >= 60) return QString::asprintf("%lld分%lld秒", s / 60, s % 60);
  return QString::asprintf("%lld秒", s);
}

QString speedText(const std::optional<double>& metresPerSecond) {
  return metresPerSecond ? QString::asprintf("%.1fkm/h", *metresPerSecond * 3.6) : kAbsent;
}

QString climbText(const std::optional<double>& metres) {
  return metres ? QString::asprintf("%.0fm", *metres) : kAbsent;
}

}  // namespace trek_figures
