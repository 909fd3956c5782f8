// The printout search criteria of the command line (search, inventory), turned into TSearchRec.
#pragma once

#include "archive/PrintoutScanner.h"
#include "cli/CliSupport.h"

namespace quorvel::cli {

// The criteria options, each with one value, to list in a command's TArgs:
// --printout-from, --printout-to, --doc-from, --doc-to, --type, --text, --tax-letter,
// --date-from, --date-to, --item (repeatable).
#define QUORVEL_SEARCH_OPTIONS                                                                   \
  {"printout-from", 1}, {"printout-to", 1}, {"doc-from", 1}, {"doc-to", 1}, {"type", 1}, {"text", 1}, \
      {"tax-letter", 1}, {"date-from", 1}, {"date-to", 1}, {"item", 1}

// The criteria the options give; every printout once without any. TUsageError on a value that
// does not read (a number, a dd-mm-yyyy date, a type name).
TSearchRec SearchCriteria(const TArgs& args);

}  // namespace quorvel::cli
