// vantoria-cli search: the program's search over map folders and trek files, as JSON.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "CliCommand.h"
#include "Json.h"
#include "app/MapSearch.h"
#include "mosaic/MapCollection.h"
#include "platform/FileLookup.h"
#include "platform/IPrompt.h"
#include "trek/TrekFile.h"

namespace {

int runSearch(cli::SCliContext& ctx) {
  std::vector<std::string> trekFiles;
  for (std::string file; cli::takeOption(ctx.args, "--trek", file);) trekFiles.push_back(file);
  if (ctx.args.empty()) return cli::fail("search: expected [INDEX_CSV_OR_FOLDER...] [--trek FILE]... TEXT");
  const std::string text = ctx.args.back();
  ctx.args.pop_back();

  mosaic::CMapCollection collection;
  for (const std::string& input : ctx.args) {
    const std::filesystem::path p = platform::pathFromUtf8(input);
    std::error_code ec;
    const int added = std::filesystem::is_directory(p, ec) ? collection.AddTree(p) : collection.AddFolder(p.parent_path()) ? 1 : 0;
    if (added == 0) return cli::fail("search: no map data (index.csv and kanri.csv) in " + input);
  }
  std::vector<std::unique_ptr<CTrekData>> groups;
  for (const std::string& file : trekFiles) {
    platform::CScriptedPrompt yes;  // old files are read converted in memory
    platform::setPrompt(&yes);
    STrekReadResult r = ReadTrekFile(platform::pathFromUtf8(file));
    platform::setPrompt(nullptr);
    if (!r.ok()) return cli::fail(r.message.empty() ? "search: cannot read " + file : r.message);
    groups.push_back(std::move(r.group));
  }
  std::vector<const CTrekData*> view;
  for (const auto& g : groups) view.push_back(g.get());
  const std::vector<search::SResult> results = search::Find(text, view, &collection);

  cli::CJsonWriter json;
  json.beginObject();
  json.field("text", text);
  json.field("limited", results.size() >= search::kMaxResults);
  json.key("results").beginArray();
  for (const search::SResult& r : results) {
    json.beginObject();
    json.field("kind", search::KindName(r.kind));
    json.field("name", r.name);
    if (r.kind == search::EResultKind::Sheet) {
      json.field("mesh", r.mesh);
      json.field("series", static_cast<int>(r.series));
      json.field("area", r.where);
    } else {
      json.field("file", trekFiles[std::size_t(r.group)]);
      json.field("group", r.where);
      json.field("index", r.item);
    }
    json.field("matched", r.matched);
    if (r.hasPosition) {
      json.field("latitude", r.latitude.ToDegrees());
      json.field("longitude", r.longitude.ToDegrees());
    } else {
      json.key("latitude").null();
      json.key("longitude").null();
    }
    json.endObject();
  }
  json.endArray();
  json.endObject();
  std::printf("%s\n", json.str().c_str());
  return 0;
}

const cli::CCliRegistration kSearch(
    "search",
    "search [INDEX_CSV_OR_FOLDER...] [--trek FILE]... TEXT   (waypoints, track logs and sheets by name; "
    "full-/half-width folded; positions WGS-84)",
    runSearch);

}  // namespace
