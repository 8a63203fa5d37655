#include "FakeUnit.h"

#include <cmath>
#include <cstdint>

#include "common/TestUtil.h"
#include "trek/CMarkerPoint.h"
#include "trek/CTrackLog.h"
#include "trek/GpxFile.h"

namespace unittest {
namespace {

std::string fileEntry(const std::string& path, const std::string& base, const std::string& direction,
                      const std::string& ext = "GPX") {
  std::string s = "      <File>\n        <Location><Path>";
  s += path;
  s += "</Path>";
  if (!base.empty()) s += "<BaseName>" + base + "</BaseName>";
  s += "<FileExtension>" + ext + "</FileExtension></Location>\n        <TransferDirection>" + direction +
       "</TransferDirection>\n      </File>\n";
  return s;
}

std::string device(const std::string& model, const std::string& display, const std::string& body,
                   const std::string& extensions = {}) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
         "<Device xmlns=\"http://www.garmin.com/xmlschemas/GarminDevice/v2\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
         "  <Model>\n    <PartNumber>006-B0000-00</PartNumber>\n    <SoftwareVersion>420</SoftwareVersion>\n"
         "    <Description>" + model + "</Description>\n  </Model>\n  <Id>3870000001</Id>\n" +
         (display.empty() ? std::string() : "  <DisplayName>" + display + "</DisplayName>\n") +
         "  <MassStorageMode>\n" + body + "  </MassStorageMode>\n" + extensions + "</Device>\n";
}

void put16(std::string& s, std::uint32_t v) {
  s += static_cast<char>(v & 0xff);
  s += static_cast<char>((v >> 8) & 0xff);
}
void put32(std::string& s, std::uint32_t v) {
  put16(s, v & 0xffff);
  put16(s, v >> 16);
}

}  // namespace

std::string etrexDeviceXml() {
  return device("eTrex 30", "",
                "    <DataType>\n      <Name>GPSData</Name>\n" + fileEntry("Garmin/GPX", "", "InputOutput") +
                    fileEntry("Garmin/GPX/Current", "Current", "OutputFromUnit") +
                    fileEntry("Garmin/GPX/Archive", "", "OutputFromUnit") + "    </DataType>\n"
                    "    <DataType>\n      <Name>FIT_TYPE_4</Name>\n" +
                    fileEntry("Garmin/Activity", "", "OutputFromUnit", "FIT") + "    </DataType>\n");
}

std::string gpsmapDeviceXml(std::size_t maxTrackPoints) {
  std::string ext;
  if (maxTrackPoints > 0)
    ext = "  <Extensions>\n    <MaxTrackPoints>" + std::to_string(maxTrackPoints) +
          "</MaxTrackPoints>\n    <MaxCustomMapImages>500</MaxCustomMapImages>\n  </Extensions>\n";
  return device("GPSMAP 66s", "Yamada's GPSMAP",
                "    <DataType>\n      <Name>GPSData</Name>\n" + fileEntry("\\GARMIN\\GPX\\", "", "InputToUnit") +
                    fileEntry("GARMIN/GPX/CURRENT", "Current", "OutputFromUnit") +
                    fileEntry("GARMIN/GPX/ARCHIVE", "", "OutputFromUnit") +
                    fileEntry("GARMIN/GPX/../../../etc", "", "OutputFromUnit") + "    </DataType>\n"
                    "    <DataType>\n      <Name>CustomMaps</Name>\n" +
                    fileEntry("GARMIN/CustomMaps", "", "InputToUnit", "KMZ") + "    </DataType>\n",
                ext);
}

std::unique_ptr<CTrekData> trackGroup(const std::string& name, int logs, int points) {
  auto g = std::make_unique<CTrekData>();
  g->SetKind(CTrekData::kTrackLogGroup);
  g->SetGroupName(name);
  for (int l = 0; l < logs; ++l) {
    auto log = std::make_unique<CTrackLog>();
    log->name = name + " " + std::to_string(l + 1);
    for (int i = 0; i < points; ++i) {
      CTrackPoint p;
      const double t = i / 10.0;
      p.SetPosition(DmsAngle::FromDegrees(35.36 + 0.0005 * i + 0.01 * l),
                    DmsAngle::FromDegrees(138.73 + 0.0003 * std::sin(t) * 10.0), Datum::Wgs84);
      p.altitude = 1000.0 + i;
      p.time = TrekTime::FromReceiverSeconds(1165000000 + 60 * i);
      p.number = i;
      log->AppendPoint(p);
    }
    g->TrackLogs().push_back(std::move(log));
  }
  return g;
}

std::unique_ptr<CTrekData> waypointGroup(const std::string& name, int waypoints) {
  auto g = std::make_unique<CTrekData>();
  g->SetKind(CTrekData::kWaypointGroup);
  g->SetGroupName(name);
  for (int i = 0; i < waypoints; ++i) {
    auto p = std::make_unique<CMarkerPoint>();
    p->name = name + "-" + std::to_string(i + 1);
    p->SetPosition(DmsAngle::FromDegrees(35.3 + 0.01 * i), DmsAngle::FromDegrees(138.7), Datum::Wgs84);
    g->Waypoints().push_back(std::move(p));
  }
  return g;
}

void makeEtrex(const std::filesystem::path& root) {
  testutil::writeFile(root / "Garmin" / "GarminDevice.xml", etrexDeviceXml());
  auto current = trackGroup("Current", 1, 30);
  const auto points = waypointGroup("CurWpt", 2);
  for (auto& w : points->Waypoints()) current->Waypoints().push_back(std::move(w));
  testutil::writeFile(root / "Garmin" / "GPX" / "Current" / "Current.gpx", WriteGpxBytes(*current));
  testutil::writeFile(root / "Garmin" / "GPX" / "Archive" / "2026-12-08.gpx", WriteGpxBytes(*trackGroup("Archive", 1, 50)));
  testutil::writeFile(root / "Garmin" / "GPX" / "Waypoints_08-DEC-26.gpx", WriteGpxBytes(*waypointGroup("Saved", 3)));
  testutil::writeFile(root / "Garmin" / "GPX" / "notes.txt", "not a GPX file");
}

void makeGpsmap(const std::filesystem::path& root, std::size_t maxTrackPoints) {
  testutil::writeFile(root / "GARMIN" / "GarminDevice.xml", gpsmapDeviceXml(maxTrackPoints));
  testutil::writeFile(root / "GARMIN" / "GPX" / "CURRENT" / "CURRENT.GPX", WriteGpxBytes(*trackGroup("Today", 1, 40)));
  testutil::writeFile(root / "GARMIN" / "GPX" / "ARCHIVE" / "A.GPX", WriteGpxBytes(*trackGroup("Old", 1, 10)));
  std::filesystem::create_directories(root / "GARMIN" / "CustomMaps");
}

std::string kmzBytes(int images) {
  std::vector<std::string> names{"doc.kml"};
  for (int i = 0; i < images; ++i) names.push_back("files/t" + std::to_string(i) + ".jpg");
  std::string zip;
  std::string central;
  for (const std::string& n : names) {
    const auto offset = static_cast<std::uint32_t>(zip.size());
    put32(zip, 0x04034b50u);
    put16(zip, 20), put16(zip, 0), put16(zip, 0), put16(zip, 0), put16(zip, 0);
    put32(zip, 0), put32(zip, 0), put32(zip, 0);
    put16(zip, static_cast<std::uint32_t>(n.size())), put16(zip, 0);
    zip += n;
    put32(central, 0x02014b50u);
    put16(central, 20), put16(central, 20), put16(central, 0), put16(central, 0), put16(central, 0), put16(central, 0);
    put32(central, 0), put32(central, 0), put32(central, 0);
    put16(central, static_cast<std::uint32_t>(n.size())), put16(central, 0), put16(central, 0);
    put16(central, 0), put16(central, 0), put32(central, 0), put32(central, offset);
    central += n;
  }
  const auto cdOffset = static_cast<std::uint32_t>(zip.size());
  zip += central;
  put32(zip, 0x06054b50u);
  put16(zip, 0), put16(zip, 0);
  put16(zip, static_cast<std::uint32_t>(names.size())), put16(zip, static_cast<std::uint32_t>(names.size()));
  put32(zip, static_cast<std::uint32_t>(central.size())), put32(zip, cdOffset), put16(zip, 0);
  return zip;
}

}  // namespace unittest
