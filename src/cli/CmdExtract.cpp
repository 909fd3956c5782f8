#include <string>
#include <vector>

#include "archive/uDailyRecord.h"
#include "cli/Commands.h"
#include "cli/RecordJson.h"
#include "ecopy/uDailyReportExtractor.h"

namespace quorvel::cli {

namespace {

bool IsEmptyValue(const json& v) {
  return v.is_null() || (v.is_string() && v.get<std::string>().empty()) || (v.is_number() && v == 0);
}

// The fields of a record that hold something, one "Field: value" line each; the kind always.
void PrintSetFields(TCliContext& ctx, const json& j, const std::string& prefix) {
  static const char kSlots[] = "ABCDEFG";
  for (auto it = j.begin(); it != j.end(); ++it) {
    const std::string name = prefix + it.key();
    if (it->is_object()) {
      PrintSetFields(ctx, *it, name + ".");
    } else if (it->is_array()) {
      for (std::size_t k = 0; k < it->size(); ++k) {
        const json& v = (*it)[k];
        if (IsEmptyValue(v)) continue;
        const std::string suffix = it->size() == 7 ? std::string(1, kSlots[k]) : std::to_string(k + 1);
        ctx.Out << "  " << name << '[' << suffix << "]: " << (v.is_string() ? v.get<std::string>() : v.dump())
                << '\n';
      }
    } else if (name == "Kind" || !IsEmptyValue(*it)) {
      ctx.Out << "  " << name << ": " << (it->is_string() ? it->get<std::string>() : it->dump()) << '\n';
    }
  }
}

}  // namespace

int CmdExtract(const std::vector<std::string>& args, TCliContext& ctx) {
  TArgs a(args, {{"json", 0}, {"not-first", 0}});
  const std::string& file = a.Required(0, "FILE");
  a.ExpectAtMost(1);
  const bool asJson = a.Flag("json");
  int n = 0;
  // Records are written as they are delivered, so those before a failure are still shown.
  TDailyReportExtractor extractor([&](const RFMRecord& r) {
    ++n;
    if (asJson) {
      WriteJsonLine(ctx.Out, RecordToJson(r));
    } else {
      ctx.Out << "Rekord " << n << ":\n";
      PrintSetFields(ctx, RecordToJson(r), "");
    }
  });
  const RFMRecord daily = extractor.ExtractDailyReport(PathArg(file), !a.Flag("not-first"));
  if (asJson) {
    WriteJsonLine(ctx.Out, RecordToJson(daily));
  } else {
    ctx.Out << "Raport dobowy:\n";
    PrintSetFields(ctx, RecordToJson(daily), "");
  }
  return 0;
}

}  // namespace quorvel::cli
