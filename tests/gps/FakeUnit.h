#pragma once
// Fake Garmin units for the tests: folder trees laid out as two kinds of handheld lay them out
// (written from the device description schema's element names), with GPX files of both kinds.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "trek/CTrekData.h"

namespace unittest {

/// A compact handheld: one GPX folder the unit reads and writes, Current and Archive below it.
std::string etrexDeviceXml();
/// A larger handheld: several GPX folders, custom maps, upper-case GARMIN, limits given.
std::string gpsmapDeviceXml(std::size_t maxTrackPoints = 0);

/// A track log group of `logs` logs with `points` points each (WGS-84 near 35.36 N 138.73 E,
/// one minute apart) and a waypoint group of `waypoints` points.
std::unique_ptr<CTrekData> trackGroup(const std::string& name, int logs, int points);
std::unique_ptr<CTrekData> waypointGroup(const std::string& name, int waypoints);

/// Builds an eTrex-like unit below `root`: Garmin/GarminDevice.xml, Garmin/GPX/Current/
/// Current.gpx (2 waypoints, 1 log of 30 points), Garmin/GPX/Archive/2026-12-08.gpx (1 log of
/// 50 points), Garmin/GPX/Waypoints_08-DEC-26.gpx (3 waypoints).
void makeEtrex(const std::filesystem::path& root);
/// A GPSMAP-like unit below `root` in upper-case names: GARMIN/GarminDevice.xml, GARMIN/GPX/
/// CURRENT/CURRENT.GPX (1 log of 40 points), GARMIN/GPX/ARCHIVE/A.GPX (1 log of 10 points).
void makeGpsmap(const std::filesystem::path& root, std::size_t maxTrackPoints = 0);

/// A zip file holding `images` empty entries named "files/tN.jpg" and one "doc.kml".
std::string kmzBytes(int images);

}  // namespace unittest
