#pragma once
// Garmin handhelds that show up as a mounted folder: USB mass-storage volumes and MTP units that
// the desktop mounts (GVFS under $XDG_RUNTIME_DIR/gvfs). A unit is a folder holding "Garmin";
// its GarminDevice.xml, when it has one, names the model and the folders of GPX and custom-map
// files. No widgets and no dialogs here.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gps {

/// Largest GarminDevice.xml read (bytes); real ones are a few tens of KiB.
inline constexpr std::size_t kMaxDeviceXmlBytes = 1024u * 1024u;
/// Track points per log a unit takes when its description says nothing.
inline constexpr std::size_t kDefaultTrackPointLimit = 10000;
/// Custom-map images a unit shows when its description says nothing.
inline constexpr std::size_t kDefaultCustomMapImages = 100;

enum class EUnitKind { Storage, Mtp };
[[nodiscard]] const char* UnitKindName(EUnitKind kind);  ///< "storage" or "mtp"

/// One file location of the description: a folder below the volume root, optionally one base name.
struct SUnitLocation {
  std::string path;       ///< relative, '/'-separated, as the description writes it ("Garmin/GPX")
  std::string baseName;   ///< empty: any file of the extension
  std::string extension;  ///< upper case without the dot ("GPX", "KMZ")
  bool fromUnit = false;  ///< the unit writes files there (OutputFromUnit or InputOutput)
  bool toUnit = false;    ///< the unit reads files put there (InputToUnit or InputOutput)
};

/// What GarminDevice.xml says.
struct SGarminDeviceInfo {
  std::string model;        ///< Model/Description, UTF-8
  std::string displayName;  ///< DisplayName, UTF-8
  std::string partNumber;
  std::string unitId;
  std::vector<SUnitLocation> gpx;         ///< DataType GPSData files
  std::vector<SUnitLocation> customMaps;  ///< DataType CustomMaps files
  std::optional<std::size_t> maxTrackPoints;    ///< a MaxTrackPoints element, when present
  std::optional<std::size_t> maxCustomMapImages;  ///< a MaxCustomMapImages element, when present
};

/// Parses the description; an error text (UTF-8) when the bytes are no GarminDevice document.
struct SDeviceXmlResult {
  SGarminDeviceInfo info;
  std::string error;
  [[nodiscard]] bool ok() const { return error.empty(); }
};
[[nodiscard]] SDeviceXmlResult ParseGarminDeviceXml(std::string_view bytes);

/// A mounted folder that may be a unit.
struct SVolumeCandidate {
  std::filesystem::path root;
  std::string name;  ///< the volume's label, UTF-8; may be empty
  EUnitKind kind = EUnitKind::Storage;
  bool readOnly = false;
};

/// A unit found on a mounted folder.
struct SGarminUnit {
  std::string name;   ///< DisplayName, else the model, else the volume's name, else the folder's
  std::string model;  ///< empty when the unit has no description
  std::filesystem::path root;  ///< the volume (or MTP storage) folder holding "Garmin"
  EUnitKind kind = EUnitKind::Storage;
  bool readOnly = false;
  bool hasDescription = false;
  std::int64_t freeBytes = -1;  ///< -1 when unknown
  std::vector<std::filesystem::path> gpxFolders;  ///< existing folders GPX files are read from
  std::filesystem::path uploadFolder;             ///< where new GPX files go
  std::filesystem::path customMapsFolder;         ///< where KMZ files go
  std::size_t maxTrackPoints = kDefaultTrackPointLimit;
  std::size_t maxCustomMapImages = kDefaultCustomMapImages;
};

/// The unit on `candidate`, or nothing when the folder holds no unit. A storage volume is a unit
/// only with Garmin/GarminDevice.xml; an MTP mount with a Garmin folder (its description may be
/// hidden there). A description that cannot be read leaves a storage volume out and an MTP unit
/// with the default folders. Names inside the volume are matched case-insensitively.
[[nodiscard]] std::optional<SGarminUnit> ProbeGarminUnit(const SVolumeCandidate& candidate);
/// The units of the candidates, in their order, each root once.
[[nodiscard]] std::vector<SGarminUnit> FindGarminUnits(const std::vector<SVolumeCandidate>& candidates);

/// The mounted volumes of the system and the storages of the GVFS MTP mounts below
/// `gvfsFolder` ($XDG_RUNTIME_DIR/gvfs when empty). Reading an MTP folder may be slow: call it
/// off the user-interface thread.
[[nodiscard]] std::vector<SVolumeCandidate> MountedVolumeCandidates(const std::filesystem::path& gvfsFolder = {});
/// Every unit mounted now (MountedVolumeCandidates, then FindGarminUnits).
[[nodiscard]] std::vector<SGarminUnit> FindMountedGarminUnits();

/// The unit `spec` names: a listed unit's name (case-insensitive) or root, else a folder that
/// holds a unit itself (a volume root or its Garmin folder). An error text when none fits.
struct SUnitLookup {
  std::optional<SGarminUnit> unit;
  std::string error;
};
[[nodiscard]] SUnitLookup LookUpGarminUnit(const std::string& spec, const std::vector<SGarminUnit>& listed);

}  // namespace gps
