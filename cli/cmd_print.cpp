// vantoria-cli magnification, scalebar and print: the print arithmetic and the page painter
// writing a PDF.
#include <QPageSize>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "CliCommand.h"
#include "Json.h"
#include "app/AppSettings.h"
#include "display/Magnification.h"
#include "display/ScaleBar.h"
#include "output/PrintLayout.h"
#include "output/PrintRun.h"
#include "output/PrintableSheet.h"
#include "PlaneArgs.h"
#include "trek/CTrackLog.h"
#include "trek/CTrekData.h"
#include "platform/Codepage.h"
#include "platform/FileLookup.h"

namespace {

bool parseInt(const std::string& text, long lo, long hi, int& out) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < lo || v > hi) return false;
  out = static_cast<int>(v);
  return true;
}

bool parseSeries(cli::SCliContext& ctx, int& series) {
  std::string text = "1";
  cli::takeOption(ctx.args, "--series", text);
  if (text != "1" && text != "2") return false;
  series = text == "2" ? 2 : 1;
  return true;
}

int cmdMagnification(cli::SCliContext& ctx) {
  int series = 1;
  if (!parseSeries(ctx, series)) return cli::fail("magnification: --series must be 1 or 2");
  std::string dpiText = "96";
  int dpi = 96;
  cli::takeOption(ctx.args, "--dpi", dpiText);
  if (!parseInt(dpiText, 1, 10000, dpi)) return cli::fail("magnification: --dpi must be 1..10000");
  if (ctx.args.size() != 1) return cli::fail("usage: magnification TEXT [--series 1|2] [--dpi N]");
  const MagnificationCode code = print::ParsePrintMagnification(ctx.args[0]);
  cli::CJsonWriter j;
  j.beginObject().field("code", static_cast<int>(code));
  if (code == 0) {
    j.key("text").null().key("ratio").null();
  } else {
    j.field("text", print::PrintMagnificationText(code));
    j.field("ratio", MagnificationToRatio(code, series, dpi));
  }
  j.endObject();
  std::printf("%s\n", j.str().c_str());
  return 0;
}

int cmdScaleBar(cli::SCliContext& ctx) {
  int series = 1;
  if (!parseSeries(ctx, series)) return cli::fail("scalebar: --series must be 1 or 2");
  std::string widthText, ratioText;
  if (!cli::takeOption(ctx.args, "--width", widthText) || !cli::takeOption(ctx.args, "--ratio", ratioText))
    return cli::fail("usage: scalebar --width PX --ratio R --series 1|2 [--left]");
  const bool left = cli::takeFlag(ctx.args, "--left");
  int width = 0;
  if (!parseInt(widthText, 0, 1000000, width)) return cli::fail("scalebar: --width must be 0..1000000");
  char* end = nullptr;
  const double ratio = std::strtod(ratioText.c_str(), &end);
  if (end == ratioText.c_str() || *end != '\0' || !std::isfinite(ratio) || ratio < 0 || ratio > 1000)
    return cli::fail("scalebar: --ratio must be a number from 0 to 1000");
  if (!ctx.args.empty()) return cli::fail("scalebar: unexpected argument " + ctx.args.front());
  ScaleBar bar;
  bar.Configure(QRect(0, 0, width, 23), 4, ratio, ratio, !left, 0xFFFFFF, 0xDD5500, -11, QStringLiteral("ＭＳ Ｐゴシック"));
  const ScaleBar::SLayout l = bar.Layout(series);
  cli::CJsonWriter j;
  j.beginObject().field("visible", l.visible);
  if (l.visible) {
    j.field("lengthM", l.lengthM).field("middleLabel", l.middleLabel).field("endLabel", l.endLabel);
    j.field("tenth", l.tenth).field("x0", l.x0).field("barWidth", 10 * l.tenth);
  }
  j.endObject();
  std::printf("%s\n", j.str().c_str());
  return 0;
}

bool parsePaper(const std::string& name, QPageSize& size) {
  static const struct { const char* name; QPageSize::PageSizeId id; } kPapers[] = {
      {"A4", QPageSize::A4}, {"A3", QPageSize::A3}, {"B4", QPageSize::JisB4}, {"B5", QPageSize::JisB5},
      {"Letter", QPageSize::Letter}};
  for (const auto& p : kPapers) {
    if (name == p.name) {
      size = QPageSize(p.id);
      return true;
    }
  }
  return false;
}

// The track log `spec` ("FILE" or "FILE:N", N counting the file's logs from 1) read into `treks`.
const CTrackLog* openTrack(const std::string& spec, CTrekGroupList& treks, std::string& error) {
  std::string file = spec;
  int wanted = 1;
  const std::size_t colon = spec.rfind(':');
  if (colon != std::string::npos && colon + 1 < spec.size() &&
      spec.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
    if (!parseInt(spec.substr(colon + 1), 1, 1000000, wanted)) {
      error = "print: --track FILE:N needs N from 1";
      return nullptr;
    }
    file = spec.substr(0, colon);
  }
  const std::size_t before = treks.Groups().size();
  if (treks.OpenTrekFile(platform::pathFromUtf8(file)) <= 0) {
    error = "print: cannot read the trek file " + file;
    return nullptr;
  }
  int n = 0;
  for (std::size_t g = before; g < treks.Groups().size(); ++g)
    for (const auto& log : treks.Groups()[g]->TrackLogs())
      if (log && ++n == wanted) return log.get();
  error = "print: " + file + " holds " + std::to_string(n) + " track log(s), not " + std::to_string(wanted);
  return nullptr;
}

int printPlane(const std::vector<std::string>& inputs, PrintInfo& info, print::SPdfTarget& target, const std::string& outPath,
               const std::vector<std::string>& trekFiles, const std::string& bboxText, const std::string& datumText,
               const std::string& trackText, const std::string& seriesText) {
  AppSettings settings;
  settings.setSaveOnDestroy(false);
  settings.Load();
  std::string why;
  cli::SPlaneInput in;
  if (!cli::OpenPlaneInput("print", inputs, seriesText, settings.mapRenderSettings(), in, why)) return cli::fail(why);
  const mosaic::SMapPlane& plane = in.source.plane;
  CTrekGroupList treks;
  for (const std::string& t : trekFiles)
    if (treks.OpenTrekFile(platform::pathFromUtf8(t)) <= 0) return cli::fail("print: cannot read the trek file " + t);
  const SheetFrame frame = plane.Frame(1.0);
  QRect area;
  std::string trackName;
  if (!trackText.empty()) {
    const CTrackLog* log = openTrack(trackText, treks, why);
    if (!log) return cli::fail(why);
    trackName = platform::cp932::toUtf8Lossy(log->name);
    const QMarginsF margins(target.marginMm, target.marginMm, target.marginMm, target.marginMm);
    const QSize portrait =
        QPageLayout(target.pageSize, QPageLayout::Portrait, margins, QPageLayout::Millimeter).paintRectPixels(target.dpi).size();
    const QSize landscapePage =
        QPageLayout(target.pageSize, QPageLayout::Landscape, margins, QPageLayout::Millimeter).paintRectPixels(target.dpi).size();
    const auto planned = print::PlanTrackLogPrint(*log, frame, &plane, {target.dpi, target.dpi, target.screenDpi, target.screenDpi},
                                                  portrait, landscapePage, info.options, static_cast<int>(in.series));
    if (!planned) return cli::fail("print: the track log has no point on the map folders' plane");
    area = planned->plan.area;
    target.orientation = planned->plan.landscape ? QPageLayout::Landscape : QPageLayout::Portrait;
    info.magnificationMode = print::EMagnificationMode::Specified;
    info.magnification = print::kTrackMagnification;
  } else {
    const std::optional<mosaic::SFrameSeconds> box = cli::ParseBox("print", bboxText, datumText, why);
    if (!box) return cli::fail(why);
    area = print::PlaneAreaOf(plane, *box);
  }
  if (area.isEmpty() || print::SheetsShown(plane, *in.source.sheets, area).empty())
    return cli::fail("print: no sheet of the map folders lies in the box");
  if (std::int64_t{area.width()} * area.height() > (std::int64_t{1} << 32))
    return cli::fail("print: the box is too large");
  info.printSelection = true;
  SPrintSheet sheet;
  sheet.plane = &in.source;
  sheet.series = static_cast<int>(in.series);
  sheet.render = settings.mapRenderSettings();
  sheet.frame = &frame;
  sheet.groups = &treks.Groups();
  sheet.selection = area;
  print::InstallPrintFontSubstitutes();
  const std::vector<int> shown = print::SheetsShown(plane, *in.source.sheets, area);
  target.title = platform::cp932::toUtf8Lossy((*in.source.sheets)[static_cast<std::size_t>(shown.front())].record.sheetName);
  const print::SPdfReport report = print::PrintToPdf(sheet, info, target);
  if (report.targetExists) return cli::failWrite("print", outPath, true, {});
  if (!report.ok) return cli::fail("print: " + report.error);
  const print::SPageSpan span = print::PrintedPages(info);
  cli::CJsonWriter j;
  j.beginObject();
  j.field("pagesAcross", info.pagesAcross).field("pagesDown", info.pagesDown).field("pageCount", static_cast<int>(info.maxPage));
  j.field("magnification", static_cast<int>(info.magnification)).field("text", print::PrintMagnificationText(info.magnification));
  j.field("scaleX", info.scaleX).field("scaleY", info.scaleY);
  j.field("pageWidth", info.pageWidth).field("pageHeight", info.pageHeight).field("mapTop", info.mapTop);
  j.key("source").beginArray().number(info.sourceRect.left()).number(info.sourceRect.top())
      .number(info.sourceRect.left() + info.sourceRect.width()).number(info.sourceRect.top() + info.sourceRect.height()).endArray();
  j.field("firstPage", static_cast<int>(span.first)).field("lastPage", static_cast<int>(span.last));
  j.field("printedPages", report.run.pagesPrinted);
  j.key("selection").null();
  j.field("orientation", target.orientation == QPageLayout::Landscape ? "landscape" : "portrait");
  // Millimetres on paper of one kilometre on the ground at the printed area's middle.
  const print::SLocalMetres local = print::LocalMetres(plane, info.sourceRect);
  j.field("kmAcrossMm", 1000.0 / local.across * info.scaleX / target.dpi * 25.4);
  j.field("kmDownMm", 1000.0 / local.down * info.scaleY / target.dpi * 25.4);
  if (!trackName.empty()) j.field("track", trackName);
  j.key("sheets").beginArray();
  for (const std::string& code : report.sheets) j.string(code);
  j.endArray();
  j.endObject();
  std::printf("%s\n", j.str().c_str());
  return 0;
}

int cmdPrint(cli::SCliContext& ctx) {
  std::string outPath, magText, selText, pagesText, optionsText = "127", paperText = "A4", dpiText = "600";
  if (!cli::takeOption(ctx.args, "-o", outPath)) return cli::fail("print: -o OUT.pdf is required");
  const bool haveMag = cli::takeOption(ctx.args, "--magnification", magText);
  const bool fit = cli::takeFlag(ctx.args, "--fit");
  const bool haveSel = cli::takeOption(ctx.args, "--selection", selText);
  const bool havePages = cli::takeOption(ctx.args, "--pages", pagesText);
  cli::takeOption(ctx.args, "--options", optionsText);
  cli::takeOption(ctx.args, "--paper", paperText);
  cli::takeOption(ctx.args, "--dpi", dpiText);
  const bool landscape = cli::takeFlag(ctx.args, "--landscape");
  const bool force = cli::takeFlag(ctx.args, "--force");
  std::vector<std::string> treks;
  for (std::string t; cli::takeOption(ctx.args, "--trek", t);) treks.push_back(t);
  std::string bboxText, datumText = "tokyo", trackText, seriesText;
  const bool haveBox = cli::takeOption(ctx.args, "--bbox", bboxText);
  const bool haveTrack = cli::takeOption(ctx.args, "--track", trackText);
  const bool haveDatum = cli::takeOption(ctx.args, "--datum", datumText);
  const bool haveSeries = cli::takeOption(ctx.args, "--series", seriesText);
  const bool seamless = haveBox || haveTrack;
  for (const std::string& a : ctx.args)
    if (a.size() > 1 && a[0] == '-') return cli::fail("print: unknown option " + a);
  if (!seamless && (haveDatum || haveSeries)) return cli::fail("print: --datum and --series go with --bbox or --track");
  if (haveBox && haveTrack) return cli::fail("print: --bbox and --track exclude each other");
  if (haveTrack && (haveMag || fit || haveSel || landscape))
    return cli::fail("print: --track chooses the scale, the area and the orientation itself");
  if (seamless && haveSel) return cli::fail("print: --selection goes with INDEX_CSV MESH, not with --bbox");
  if (!seamless && ctx.args.size() != 2) return cli::fail("usage: print INDEX_CSV MESH -o OUT.pdf [options]");
  if (haveMag && fit) return cli::fail("print: --magnification and --fit exclude each other");

  PrintInfo info;
  info.magnificationMode = fit ? print::EMagnificationMode::FitToPaper : print::EMagnificationMode::Specified;
  info.magnification = -25000;
  if (haveMag) {
    info.magnification = print::ParsePrintMagnification(magText);
    if (info.magnification == 0)
      return cli::fail("print: --magnification must be 5%..500% or 1:500,000..1:1,000");
  }
  int options = 0;
  if (!parseInt(optionsText, 0, 1023, options)) return cli::fail("print: --options must be 0..1023");
  info.options = static_cast<print::PrintOptionFlags>(options);
  QRect selection;
  if (haveSel) {
    int l = 0, t = 0, r = 0, b = 0;
    char tail = 0;
    if (std::sscanf(selText.c_str(), "%d,%d,%d,%d%c", &l, &t, &r, &b, &tail) != 4 || r <= l || b <= t)
      return cli::fail("print: --selection must be L,T,R,B with L < R and T < B");
    selection = QRect(QPoint(l, t), QPoint(r - 1, b - 1));
    info.printSelection = true;
  }
  if (havePages) {
    const auto dash = pagesText.find('-');
    int from = 0, to = 0;
    if (dash == std::string::npos || !parseInt(pagesText.substr(0, dash), 1, 0xFFFE, from) ||
        !parseInt(pagesText.substr(dash + 1), 1, 0xFFFE, to) || to < from)
      return cli::fail("print: --pages must be FROM-TO with 1 <= FROM <= TO");
    info.fromPage = static_cast<std::uint32_t>(from);
    info.toPage = static_cast<std::uint32_t>(to);
  }
  print::SPdfTarget target;
  target.path = platform::pathFromUtf8(outPath);
  std::string ext = target.path.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext != ".pdf") return cli::fail("print: the output must end in .pdf");
  std::error_code ec;
  if (!force && std::filesystem::exists(target.path, ec)) return cli::failWrite("print", outPath, true, {});
  target.replace = force ? platform::EReplace::Replace : platform::EReplace::NoReplace;
  if (!parsePaper(paperText, target.pageSize)) return cli::fail("print: --paper must be A4, A3, B4, B5 or Letter");
  target.orientation = landscape ? QPageLayout::Landscape : QPageLayout::Portrait;
  if (!parseInt(dpiText, 72, 2400, target.dpi)) return cli::fail("print: --dpi must be 72..2400");

  if (seamless) return printPlane(ctx.args, info, target, outPath, treks, haveBox ? bboxText : std::string(), datumText,
                                  trackText, seriesText);

  CPrintableSheet sheet;
  std::string why;
  if (!sheet.Open(platform::pathFromUtf8(ctx.args[0]), ctx.args[1], why)) return cli::fail("print: " + why);
  for (const std::string& t : treks) {
    if (!sheet.AddTrekFile(platform::pathFromUtf8(t))) return cli::fail("print: cannot read the trek file " + t);
  }
  if (info.printSelection &&
      (selection & QRect(0, 0, sheet.image().width(), sheet.image().height())).isEmpty())
    return cli::fail("print: --selection lies outside the sheet");
  AppSettings settings;
  settings.setSaveOnDestroy(false);
  settings.Load();
  print::InstallPrintFontSubstitutes();
  target.title = platform::cp932::toUtf8Lossy(sheet.record().sheetName);
  SPrintSheet printed = sheet.PrintSheet(settings.mapRenderSettings(), selection);
  printed.grid.utmColour = static_cast<std::uint32_t>(settings.gridColour);
  printed.grid.graticuleColour = static_cast<std::uint32_t>(settings.graticuleColour);
  printed.grid.magneticColour = static_cast<std::uint32_t>(settings.magNorthColour);
  printed.grid.graticuleDatum = settings.dispDatum == 0 ? Datum::Wgs84 : Datum::Tokyo;
  const print::SPdfReport report = print::PrintToPdf(printed, info, target);
  if (report.targetExists) return cli::failWrite("print", outPath, true, {});
  if (!report.ok) return cli::fail("print: " + report.error);
  const print::SPageSpan span = print::PrintedPages(info);
  cli::CJsonWriter j;
  j.beginObject();
  j.field("pagesAcross", info.pagesAcross).field("pagesDown", info.pagesDown).field("pageCount", static_cast<int>(info.maxPage));
  j.field("magnification", static_cast<int>(info.magnification)).field("text", print::PrintMagnificationText(info.magnification));
  j.field("scaleX", info.scaleX).field("scaleY", info.scaleY);
  j.field("pageWidth", info.pageWidth).field("pageHeight", info.pageHeight).field("mapTop", info.mapTop);
  j.key("source").beginArray().number(info.sourceRect.left()).number(info.sourceRect.top())
      .number(info.sourceRect.left() + info.sourceRect.width()).number(info.sourceRect.top() + info.sourceRect.height()).endArray();
  j.field("firstPage", static_cast<int>(span.first)).field("lastPage", static_cast<int>(span.last));
  j.field("printedPages", report.run.pagesPrinted);
  // The selection printed, cut to the sheet where --selection reached past it.
  if (info.printSelection) {
    const QRect used = selection & QRect(0, 0, sheet.image().width(), sheet.image().height());
    j.key("selection").beginArray().number(used.left()).number(used.top()).number(used.left() + used.width())
        .number(used.top() + used.height()).endArray();
  } else {
    j.key("selection").null();
  }
  j.key("sheets").beginArray().string(ctx.args[1]).endArray();
  j.endObject();
  std::printf("%s\n", j.str().c_str());
  return 0;
}

const cli::CCliRegistration kMagnification("magnification", "magnification TEXT [--series 1|2] [--dpi N]",
                                           cmdMagnification);
const cli::CCliRegistration kScaleBar("scalebar", "scalebar --width PX --ratio R --series 1|2 [--left]", cmdScaleBar);
const cli::CCliRegistration kPrint(
    "print",
    "print (INDEX_CSV MESH [--selection L,T,R,B] | INDEX_CSV_OR_FOLDER... (--bbox S,W,N,E [--datum tokyo|wgs84] | "
    "--track FILE[:N]) [--series 1|2]) -o OUT.pdf [--magnification TEXT] [--fit] [--pages FROM-TO] "
    "[--options N] [--trek FILE]... [--paper A4|A3|B4|B5|Letter] [--landscape] [--dpi N] [--force]",
    cmdPrint, true);

}  // namespace
