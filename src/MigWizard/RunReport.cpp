#include "MigWizard/RunReport.h"

#include <nlohmann/json.hpp>

#include "MigWizard/ROvoradRes.h"
#include "rtl/SysUtils.h"

namespace migwiz {

TReportTotals TRunReport::Totals() const {
  TReportTotals t;
  for (const TFileReport& f : Files) {
    // What is left counts in every file, changed or not.
    t.CodeToRevise += f.CodeCount;
    t.ObjectsLeft += f.LeftCount;
    if (!f.Changed) continue;
    ++(f.Form ? t.FormsChanged : t.UnitsChanged);
    t.ObjectsConverted += f.ObjectCount;
    t.PropertiesDropped += f.DroppedCount;
    t.UnresolvedAliases += f.UnresolvedCount;
  }
  return t;
}

std::string TRunReport::ToJson() const {
  using nlohmann::ordered_json;
  ordered_json files = ordered_json::array();
  for (const TFileReport& f : Files) {
    ordered_json objects = ordered_json::array();
    for (const TConvertedObject& o : f.Objects) {
      ordered_json dropped = ordered_json::array(), renamed = ordered_json::array();
      for (const TDroppedProperty& d : o.Dropped)
        dropped.push_back({{"property", d.Property}, {"value", d.Value}});
      for (const TRenamedProperty& r : o.Renamed)
        renamed.push_back({{"from", r.From}, {"to", r.To}});
      objects.push_back({{"name", o.Name},
                         {"path", o.Path},
                         {"old_class", o.OldClass},
                         {"new_class", o.NewClass},
                         {"line", o.Line},
                         {"dropped", std::move(dropped)},
                         {"renamed", std::move(renamed)},
                         {"unresolved_alias", o.UnresolvedAlias ? ordered_json(*o.UnresolvedAlias)
                                                                : ordered_json(nullptr)}});
    }
    ordered_json file = {{"path", f.Rel},
                         {"kind", f.Form ? "form" : "unit"},
                         {"format", f.Format},
                         {"changes", f.Changes},
                         {"objects", std::move(objects)}};
    if (f.Form) {
      ordered_json left = ordered_json::array();
      for (const TLeftObject& l : f.Left)
        left.push_back({{"name", l.Name},
                        {"path", l.Path},
                        {"class", l.Class},
                        {"line", l.Line},
                        {"database", l.Database}});
      file["left"] = std::move(left);
    } else {
      ordered_json code = ordered_json::array();
      for (const TCodeReference& c : f.Code)
        code.push_back({{"line", c.Line},
                        {"column", c.Column},
                        {"text", c.Text},
                        {"kind", c.Kind},
                        {"name", c.Name},
                        {"class", c.Class},
                        {"member", c.Member},
                        {"note", c.Note}});
      file["code"] = std::move(code);
    }
    files.push_back(std::move(file));
  }
  ordered_json skipped = ordered_json::array();
  for (const TSkippedFile& s : Skipped) skipped.push_back({{"path", s.Path}, {"reason", s.Reason}});
  const TReportTotals t = Totals();
  ordered_json report = {{"mode", FolderMode ? "folder" : "project"},
                         {"dry_run", DryRun},
                         {"files", std::move(files)},
                         {"skipped", std::move(skipped)},
                         {"totals",
                          {{"units_changed", t.UnitsChanged},
                           {"forms_changed", t.FormsChanged},
                           {"objects_converted", t.ObjectsConverted},
                           {"properties_dropped", t.PropertiesDropped},
                           {"unresolved_aliases", t.UnresolvedAliases},
                           {"code_to_revise", t.CodeToRevise},
                           {"objects_left", t.ObjectsLeft}}}};
  // Form texts are not always UTF-8 (an 8-bit form keeps its bytes): such bytes are replaced
  // rather than ending the report.
  return report.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

std::string TRunReport::Summary() const {
  const TReportTotals t = Totals();
  return rtl::Format(res::sReportSummary,
                     {t.UnitsChanged, t.FormsChanged, t.ObjectsConverted, t.PropertiesDropped,
                      t.UnresolvedAliases, t.CodeToRevise, t.ObjectsLeft, SourceName});
}

}  // namespace migwiz
