#pragma once
// Captions, labels and messages of the transfer dialogs (UTF-8).

namespace gpstext {
inline constexpr const char* kNoPort = "使用可能な通信ポートがありません";
inline constexpr const char* kUndoWaypoints = "ウェイポイントファイルへのウェイポイント追加をすべて元に戻しますか?";
inline constexpr const char* kUndoTracks = "トラックログファイルへのトラックログ追加をすべて元に戻しますか?";
inline constexpr const char* kGreyWaypoints =
    "淡色で表示されているウェイポイントデータは、GPS用ポイント名にエラーがあるため、正しく送信できません。\r\n"
    "[GPS用ポイント名の編集]でポイント名を変更してください。";
inline constexpr const char* kGreyTracks =
    "淡色で表示されているトラックログデータは、GPS用トラック名にエラーがあるため、正しく送信できません。\r\n"
    "[GPS用トラック名の編集]でトラック名を変更してください。";
inline constexpr const char* kHintWaypoints =
    "アップロードリストにポイントを追加するには、トレックデータリストまたは、\r\n"
    "地図画面上でポイントを選択し、[リストに追加]ボタンをクリックして下さい。";
inline constexpr const char* kHintTracks =
    "アップロードリストにトラックを追加するには、トレックデータリストまたは、\r\n"
    "地図画面上でトラックを選択し、[リストに追加]ボタンをクリックして下さい。";
inline constexpr const char* kLegendActive = "ACTIVE LOG(アクティブなトラック)として送信します";
inline constexpr const char* kLegendSaved = "Saved Tracks(保存済みトラック )として送信します";
inline constexpr const char* kSendSaved = "保存ログ(Saved Tracks)としてアップロード(&S)";
inline constexpr const char* kSendActive = "アクティブログとしてアップロード(&A)";
inline constexpr const char* kNoteSaved = "上限を超えたトラックポイントは無視されます。\r\nまた、日時の情報は失われます。";
inline constexpr const char* kNoteActive =
    "保存されていない\"ACTIVE LOG\"として送信します。\r\nGPSレシーバーに既存のアクティブログは失われます。";

inline constexpr const char* kDownloadWaypointsCaption = "ウェイポイントのダウンロード";
inline constexpr const char* kDownloadTracksCaption = "トラックログのダウンロード";
inline constexpr const char* kUploadWaypointsCaption = "ウェイポイントのアップロード";
inline constexpr const char* kUploadTracksCaption = "トラックログのアップロード";
inline constexpr const char* kSendMethodCaption = "トラックログの送信方法設定";
inline constexpr const char* kGpsNameWaypointCaption = "GPS用ポイント名の変更";
inline constexpr const char* kGpsNameTrackCaption = "GPS用トラックログ名の変更";
inline constexpr const char* kGpsNameWaypointLabel = "GPS上で使用するポイント名を入力して下さい";
inline constexpr const char* kGpsNameTrackLabel = "GPS上で使用するトラックログ名を入力して下さい";
}  // namespace gpstext
