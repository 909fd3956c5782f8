#include "archive/PrintoutIndex.h"
#include "archive/PrintoutScanner.h"
#include "base/Errors.h"
#include "base/TextUtils.h"
#include "cli/Commands.h"

namespace quorvel::cli {

// Lines START..END of a file through the display filter.
int CmdShow(const std::vector<std::string>& args, TCliContext& ctx) {
  TArgs a(args, {});
  const std::string& file = a.Required(0, "FILE");
  int32_t start = 0, end = 0;
  if (!TryStrToInt(a.Required(1, "START"), start) || !TryStrToInt(a.Required(2, "END"), end))
    throw TUsageError("START i END to numery wierszy (od 0)");
  a.ExpectAtMost(3);
  std::string bytes;
  ReadWholeFile(PathArg(file), bytes);
  const auto count = static_cast<int64_t>(SplitLines(bytes).size());
  if (start < 0 || end < start || end >= count)
    throw EQuorvelError(Format("Wiersze %d..%d są poza plikiem (wierszy: %lld)"_cp.data(), start, end,
                               static_cast<long long>(count)));
  TRCPSetRow row;
  row.File = PathArg(file);
  row.StartLine = start;
  row.EndLine = end;
  std::vector<AnsiString> lines;
  PrintoutLines(row, lines);
  for (const auto& l : lines) WriteLine(ctx, l);
  return 0;
}

}  // namespace quorvel::cli
