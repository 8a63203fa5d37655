#include "gps/UnitUpload.h"

#include "platform/Codepage.h"
#include "platform/IPrompt.h"
#include "trek/CTrackLog.h"

namespace gps {

std::string LongTrackLogQuestion(const SGarminUnit& unit, const std::vector<std::string>& names) {
  const std::string limit = std::to_string(unit.maxTrackPoints);
  std::string text = "トラックログ「" + (names.empty() ? std::string() : names.front()) + "」";
  if (names.size() > 1) text += "ほか " + std::to_string(names.size() - 1) + " 件";
  text += "は " + limit + " ポイントを超えています。機器「" + unit.name + "」が扱えるのは 1 トラックにつき " + limit +
          " ポイントまでです。\r\n\r\n"
          "はい: 形を保って " + limit + " ポイントに間引きます\r\n"
          "いいえ: " + limit + " ポイントずつのトラックログに分割します\r\n"
          "キャンセル: 書き込みません";
  return text;
}

SUnitUploadOutcome UploadGroupsToUnit(const SGarminUnit& unit, const std::vector<const CTrekData*>& groups) {
  SUnitUploadOutcome out;
  std::vector<std::string> longNames;
  for (const CTrekData* g : groups)
    for (std::size_t i : LongTrackLogs(*g, unit.maxTrackPoints))
      longNames.push_back(platform::cp932::toUtf8Lossy(g->TrackLogs()[i]->name));
  ELongLog how = ELongLog::Keep;
  if (!longNames.empty()) {
    const platform::SPromptRequest q{LongTrackLogQuestion(unit, longNames), platform::EPromptIcon::Question,
                                     platform::EPromptButtons::YesNoCancel, platform::EPromptAnswer::Yes, "Vantoria"};
    const platform::EPromptAnswer a = platform::prompt().ask(q);
    if (a == platform::EPromptAnswer::Cancel) {
      out.cancelled = true;
      return out;
    }
    how = a == platform::EPromptAnswer::Yes ? ELongLog::Thin : ELongLog::Split;
  }
  for (const CTrekData* g : groups) {
    const auto ready = PrepareForUnit(*g, unit.maxTrackPoints, how);
    const SUnitWriteResult w = WriteGroupToUnit(unit, *ready);
    if (!w.ok) {
      out.error = w.message;
      std::string text = w.message;
      if (!out.written.empty()) text += "\r\n\r\n" + UnitWrittenMessage(unit, out.written);
      platform::prompt().ask({text, platform::EPromptIcon::Warning, platform::EPromptButtons::Ok, {}, "Vantoria"});
      return out;
    }
    out.written.push_back(w.path);
  }
  platform::prompt().ask({UnitWrittenMessage(unit, out.written), platform::EPromptIcon::Information,
                          platform::EPromptButtons::Ok, {}, "Vantoria"});
  return out;
}

}  // namespace gps
