#pragma once
// The georeference written beside an exported map image: a world file (six lines: x size of a
// pixel, two rotation terms, y size, then the centre of the top-left pixel) in Tokyo-datum
// degrees, and a ".prj" naming that datum. A sheet image is linear in latitude and longitude
// between its frame corners, so the world file places every pixel exactly.
#include <QPoint>
#include <filesystem>
#include <optional>
#include <string>

struct SheetRecord;
namespace platform {
class CAtomicFile;
}

struct SWorldFile {
  double pixelWidth = 0.0;   ///< A: degrees of longitude per column
  double rotationRow = 0.0;  ///< D
  double rotationCol = 0.0;  ///< B
  double pixelHeight = 0.0;  ///< E: degrees of latitude per row, negative (rows run south)
  double centreX = 0.0;      ///< C: longitude of the centre of the image's top-left pixel
  double centreY = 0.0;      ///< F: latitude of that centre
};

/// The world file of an image whose top-left pixel is sheet pixel `topLeft`, from the sheet's
/// north-west and south-east frame corners and their pixels. Sheet pixel i covers the positions
/// the map view puts in it, [i, i + 1) in the frame's linear scale, so its centre is i + 0.5.
/// None when the frame's pixel corners give no extent.
[[nodiscard]] std::optional<SWorldFile> SheetWorldFile(const SheetRecord& record, QPoint topLeft);

/// "name.pgw" beside "name.png", "name.bpw" beside "name.bmp": first and last letter of the
/// extension and "w".
[[nodiscard]] std::filesystem::path WorldFilePath(const std::filesystem::path& image);
/// "name.prj" beside the image.
[[nodiscard]] std::filesystem::path ProjectionFilePath(const std::filesystem::path& image);

/// The six lines, each ending in a line feed.
[[nodiscard]] std::string WorldFileText(const SWorldFile& world);
/// Geographic coordinates on Bessel 1841 with the program's three-parameter shift to WGS-84, as
/// one line of well-known text.
[[nodiscard]] std::string TokyoDatumWkt();

/// Writes the world file's and the ".prj"'s texts into open files, which the caller commits
/// together with the image.
[[nodiscard]] bool WriteWorldFileTexts(platform::CAtomicFile& worldFile, platform::CAtomicFile& projection,
                                       const SWorldFile& world);
