#include "archive/uDailyRecord.h"
#include "cli/Commands.h"
#include "cli/RecordJson.h"

namespace quorvel::cli {

namespace {

// One "Field: value" line per field; nested and per-slot fields get dotted and indexed names.
void PrintFields(TCliContext& ctx, const json& j, const std::string& prefix) {
  for (auto it = j.begin(); it != j.end(); ++it) {
    const std::string name = prefix + it.key();
    if (it->is_object()) {
      PrintFields(ctx, *it, name + ".");
    } else if (it->is_array()) {
      static const char kSlots[] = "ABCDEFG";
      for (std::size_t k = 0; k < it->size(); ++k) {
        const json& v = (*it)[k];
        const std::string suffix = it->size() == 7 ? std::string(1, kSlots[k]) : std::to_string(k + 1);
        ctx.Out << name << '[' << suffix << "]: " << (v.is_string() ? v.get<std::string>() : v.dump()) << '\n';
      }
    } else {
      ctx.Out << name << ": " << (it->is_string() ? it->get<std::string>() : it->is_null() ? "" : it->dump()) << '\n';
    }
  }
}

}  // namespace

int CmdRecord(const std::vector<std::string>& args, TCliContext& ctx) {
  TArgs a(args, {{"json", 0}});
  const std::string& file = a.Required(0, "FILE");
  a.ExpectAtMost(1);
  RFMRecord record;
  ReadRecordFile(PathArg(file), record);
  const json j = RecordToJson(record);
  if (a.Flag("json")) ctx.Out << j.dump(2) << '\n';
  else PrintFields(ctx, j, "");
  return 0;
}

}  // namespace quorvel::cli
