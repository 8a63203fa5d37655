#pragma once
// A sheet opened from a map index without the document, with trek files, ready to print (the
// command line and the benchmark).
#include <filesystem>
#include <string>

#include "geodesy/SheetFrame.h"
#include "maps/SheetImage.h"
#include "maps/SheetRecord.h"
#include "output/PrintPageRenderer.h"
#include "trek/CTrekGroupList.h"

class CPrintableSheet {
 public:
  /// Opens sheet `mesh` of the map index `indexCsv` (its folder or the file). False with the
  /// reason in `error` (UTF-8).
  bool Open(const std::filesystem::path& indexCsv, const std::string& mesh, std::string& error);
  /// Adds a waypoint or track log file; false when it cannot be read.
  bool AddTrekFile(const std::filesystem::path& path);

  /// The sheet as the page renderer takes it; valid while this object lives and stays unchanged.
  [[nodiscard]] SPrintSheet PrintSheet(const SMapRenderSettings& render, const QRect& selection = {});
  [[nodiscard]] const SheetRecord& record() const { return m_record; }
  [[nodiscard]] const SheetFrame& frame() const { return m_frame; }
  [[nodiscard]] int series() const { return m_series; }
  [[nodiscard]] SheetImage& image() { return m_image; }
  [[nodiscard]] const CTrekGroupList& treks() const { return m_treks; }

 private:
  SheetImage m_image;
  SheetRecord m_record;
  SheetFrame m_frame;
  int m_series = 1;
  CTrekGroupList m_treks;
};
