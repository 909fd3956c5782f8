// The packet layer of the cash-register link: the numbered packet types, the request body,
// the layouts of the reply frames and the conversion of their fields, and the packets' titles.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/Cp1250.h"

namespace quorvel {

struct TR5PacketType {
  uint8_t Code;
  std::string_view Letter;  // what follows "S": the letter, or the letter, "#" and the subtype
  std::string_view Caption;
};

// The entry of a packet type, or nullptr for a code the register family does not know.
const TR5PacketType* FindR5PacketType(uint8_t code);
const std::vector<TR5PacketType>& R5PacketTypes();

// Layout selectors of a currency-change record inside a periodic report (no request of their own).
inline constexpr uint8_t kR5CurrencyBasic = 92;
inline constexpr uint8_t kR5CurrencyExtended = 95;

// "S", the letter, the digit ("2" with `digitTwo`, else "0"), then both parameters right-aligned
// in 18 characters and cut to 18. Raises "Nieznany bądź nieobsługiwany typ pakietu".
AnsiString R5RequestBody(uint8_t type, std::string_view first, std::string_view second, bool digitTwo = false);

// The name of the packet a request frame (STX first) asks for, as the link's questions show it.
AnsiString R5PacketTitle(std::string_view requestFrame);

// The 18 Polish letters of code page 852 replaced by their Windows-1250 bytes; every other byte stays.
AnsiString R5PolishLetters(std::string_view cp852);

// The conversion a field of `code` gets after it is cut from a frame read with packet type
// `type` (numbers, names, amounts, quantities, rates, dates and times), before the final trim.
AnsiString R5ConvertField(uint8_t type, int code, std::string_view raw);

// The converted value of field `code` of reply frame `index` of `replies`, read with the layout
// of packet type `type`. A record read with an extended layout is first rewritten in `replies`
// so that it carries "#00" after its header. Raises "Błędny index odebranego pakietu" for an
// index outside the list, EConvertError for a record date that is no date.
AnsiString R5GetField(std::vector<AnsiString>& replies, uint8_t type, int index, int code, int subscript = 0);

}  // namespace quorvel
