// The cash register's own error codes (two hexadecimal characters after the byte 0x40) and
// the texts the register family uses for them.
#pragma once

#include <string_view>

#include "base/Cp1250.h"

namespace quorvel {

// The text of a register error code, compared after upper-casing; "Nieznany błąd" for any
// other code.
std::string_view R5ErrorText(std::string_view code);

}  // namespace quorvel
