#include <filesystem>
#include <string>
#include <vector>

#include "archive/PrintoutIndex.h"
#include "base/Errors.h"
#include "cli/Commands.h"
#include "cli/ProgressOutput.h"
#include "cli/SearchOptions.h"
#include "ecopy/uPLUList.h"

namespace quorvel::cli {

// The goods list of the printouts that the criteria find in an electronic-copy directory.
int CmdInventory(const std::vector<std::string>& args, TCliContext& ctx) {
  TArgs a(args, {QUORVEL_SEARCH_OPTIONS});
  const std::string& dir = a.Required(0, "DIR");
  a.ExpectAtMost(1);
  const TSearchRec criteria = SearchCriteria(a);
  if (!std::filesystem::is_directory(PathArg(dir)))
    throw EQuorvelError("Nie ma katalogu "_cp + Utf8ToCp1250(dir));

  TPrintoutsSet files;
  if (!LoadECopyDirectory(files, PathArg(dir), ctx.Prompts, {}))
    throw EQuorvelError("Odczyt przerwany przez użytkownika"_cp.data());
  TRCPSet printouts;
  if (!SearchPrintouts(files, criteria, printouts, ctx.Prompts, nullptr, MakeProgress(ctx)))
    throw EQuorvelError("Odczyt przerwany przez użytkownika"_cp.data());

  // "Brak danych" goes through the prompts, as the window shows it; an empty list is no failure.
  std::vector<AnsiString> lines;
  if (!InventoryLines(printouts, ctx.Prompts, lines)) return 0;
  for (const auto& line : lines) WriteLine(ctx, line);
  return 0;
}

}  // namespace quorvel::cli
