#include "ecopy/md5.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

// The test suite of RFC 1321, appendix A.5 (digests in upper case, as the card files write them).
TEST(MD5, Rfc1321TestSuite) {
  const struct {
    std::string Text, Digest;
  } cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (const auto& c : cases) EXPECT_EQ(MD5Hex(c.Text), c.Digest) << '"' << c.Text << '"';
}

TEST(MD5, PiecewiseUpdatesGiveTheSameDigestAcrossBlockBoundaries) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += static_cast<char>(i * 7 + 0x80);  // high bytes too
  const auto whole = MD5Digest(text);
  for (const std::size_t step : {1u, 55u, 56u, 63u, 64u, 65u, 129u}) {
    TMD5 md5;
    for (std::size_t i = 0; i < text.size(); i += step) md5.Update(std::string_view(text).substr(i, step));
    EXPECT_EQ(md5.Final(), whole) << step;
  }
  // Lengths around the padding limit.
  EXPECT_EQ(MD5Hex(std::string(55, 'a')), "EF1772B6DFF9A122358552954AD0DF65");
  EXPECT_EQ(MD5Hex(std::string(56, 'a')), "3B0C8AC703F828B04C6C197006D17218");
  EXPECT_EQ(MD5Hex(std::string(64, 'a')), "014842D480B571495A4A0363793F7367");
}

}  // namespace
}  // namespace quorvel
