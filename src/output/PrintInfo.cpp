#include "output/PrintInfo.h"

#include <cmath>

#include "platform/IProfileStore.h"

namespace print {

namespace {
constexpr const char* kSection = "PrintSettings";
}  // namespace

bool RecomputeScale(PrintInfo& info, const SPrintContext& context) {
  if (!context.dpi.valid()) return false;
  switch (info.magnificationMode) {
    case EMagnificationMode::FitToPaper: {
      const auto fit = FitToPaper(context.dpi, context.page, context.area, info.options);
      if (!fit) return false;
      info.scaleX = fit->scale.scaleX;
      info.scaleY = fit->scale.scaleY;
      const double percent = std::trunc(fit->ratio * 100);
      info.magnification = percent >= 1e9 ? 1000000000 : static_cast<MagnificationCode>(percent);
      break;
    }
    case EMagnificationMode::CurrentView:
    case EMagnificationMode::Specified: {
      if (info.magnificationMode == EMagnificationMode::CurrentView) info.magnification = context.viewMagnification;
      const double ratio = MagnificationToRatio(info.magnification, context.series, context.dpi.screenX);
      const auto scale = ComputeScaleFactors(context.dpi, ratio);
      if (!scale || !(scale->scaleX > 0) || !(scale->scaleY > 0)) return false;
      info.scaleX = scale->scaleX;
      info.scaleY = scale->scaleY;
      if (info.magnification < 0 && context.groundAcross > 0 && context.groundDown > 0) {
        // 1:N on the ground: a pixel covering more ground is printed larger.
        info.scaleX *= context.groundAcross;
        info.scaleY *= context.groundDown;
      }
      break;
    }
  }
  info.dpiRatioX = context.dpi.ratioX();
  info.dpiRatioY = context.dpi.ratioY();
  info.printerDpiX = context.dpi.printerX;
  return true;
}

bool RecomputePageLayout(PrintInfo& info, const SPrintContext& context) {
  if (!context.dpi.valid()) return false;
  const auto layout = ComputePageLayout(context.page, context.area, info.scale(), info.options, context.dpi.ratioY());
  if (!layout) return false;
  info.pageWidth = layout->pageWidth;
  info.pageHeight = layout->pageHeight;
  info.mapTop = layout->mapTop;
  info.totalWidth = layout->totalWidth;
  info.totalHeight = layout->totalHeight;
  info.pagesAcross = layout->pagesAcross;
  info.pagesDown = layout->pagesDown;
  info.minPage = 1;
  info.fromPage = 1;
  info.maxPage = info.toPage = static_cast<std::uint32_t>(layout->pageCount());
  return true;
}

SPrintSettings LoadPrintSettings() {
  const platform::IProfileStore& p = platform::profile();
  SPrintSettings s;
  const std::int32_t options = p.readInt(kSection, "OptionSettings", 7);
  if (options >= 0 && options <= static_cast<std::int32_t>(kOptStoredMask)) s.options = static_cast<PrintOptionFlags>(options);
  const std::int32_t mode = p.readInt(kSection, "MagniSetting", 2);
  if (mode >= 0 && mode <= 2) s.mode = static_cast<EMagnificationMode>(mode);
  const MagnificationCode magnification = p.readInt(kSection, "Magni", 100);
  if (magnification != 0 && IsUsableMagnification(magnification)) s.magnification = magnification;
  return s;
}

void SavePrintSettings(const SPrintSettings& settings) {
  platform::IProfileStore& p = platform::profile();
  p.writeInt(kSection, "Magni", settings.magnification);
  p.writeInt(kSection, "MagniSetting", static_cast<std::int32_t>(settings.mode));
  p.writeInt(kSection, "OptionSettings", static_cast<std::int32_t>(settings.options));
}

}  // namespace print
