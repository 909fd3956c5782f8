// The JSON form of a fiscal record: every field under its own name.
#pragma once

#include "archive/uDailyRecord.h"
#include "cli/CliSupport.h"

namespace quorvel::cli {

json RecordToJson(const RFMRecord& r);

}  // namespace quorvel::cli
