#include <filesystem>
#include <limits>

#include "archive/PrintoutIndex.h"
#include "base/Errors.h"
#include "base/TextUtils.h"
#include "cli/Commands.h"
#include "cli/ProgressOutput.h"

namespace quorvel::cli {

// The file list of an electronic-copy directory opened in place.
int CmdLs(const std::vector<std::string>& args, TCliContext& ctx) {
  TArgs a(args, {{"numbers", 2}, {"json", 0}});
  const std::string& dir = a.Required(0, "DIR");
  a.ExpectAtMost(1);
  int32_t from = 0, to = std::numeric_limits<int32_t>::max();
  if (const auto n = a.Values("numbers"); !n.empty()) {
    if (!TryStrToInt(n[0], from) || !TryStrToInt(n[1], to)) throw TUsageError("--numbers: dwie liczby A B");
  }
  if (!std::filesystem::is_directory(PathArg(dir)))
    throw EQuorvelError("Nie ma katalogu "_cp + Utf8ToCp1250(dir));
  TPrintoutsSet set;
  if (!LoadECopyDirectory(set, PathArg(dir), ctx.Prompts, MakeProgress(ctx), from, to))
    throw EQuorvelError("Odczyt przerwany przez użytkownika"_cp.data());
  const bool asJson = a.Flag("json");
  for (const auto& row : set) {
    if (asJson) {
      WriteJsonLine(ctx.Out, {{"PrintoutNo", row.PrintoutNo}, {"Date", JsonDate(row.Date)}, {"File", row.File}});
    } else {
      ctx.Out << row.PrintoutNo << '\t' << (row.Date == 0 ? "" : DateTimeStr(row.Date)) << '\t' << row.File << '\n';
    }
  }
  return 0;
}

}  // namespace quorvel::cli
