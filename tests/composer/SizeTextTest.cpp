#include "composer/Error.h"
#include "composer/text/SizeText.h"

#include <gtest/gtest.h>

#include <ostream>

#include <optional>

namespace morvaleth {
namespace {

struct SizeTextCase {
    const char* text;
    std::optional<std::int32_t> value;

    friend void PrintTo(const SizeTextCase& x, std::ostream* out) { *out << "'" << x.text << "'"; }
};

class SizeTextTest : public ::testing::TestWithParam<SizeTextCase> {};

TEST_P(SizeTextTest, ConvertsOrRefuses)
{
    EXPECT_EQ(ParseSizeText(GetParam().text), GetParam().value) << "'" << GetParam().text << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SizeTextTest,
    ::testing::Values(SizeTextCase{"640", 640}, SizeTextCase{" 640", 640}, SizeTextCase{"   +640", 640},
                      SizeTextCase{"-1", -1}, SizeTextCase{"0", 0}, SizeTextCase{"000480", 480},
                      SizeTextCase{"2147483647", 2147483647}, SizeTextCase{"-2147483648", INT32_MIN},
                      SizeTextCase{"2147483648", std::nullopt}, SizeTextCase{"-2147483649", std::nullopt},
                      SizeTextCase{"99999999999999999999", std::nullopt}, SizeTextCase{"$FF", 255},
                      SizeTextCase{"$ff", 255}, SizeTextCase{"$FFFFFFFF", -1}, SizeTextCase{"$80000000", INT32_MIN},
                      SizeTextCase{"$000000001", 1}, SizeTextCase{"$100000000", std::nullopt},
                      SizeTextCase{"  $10", 16}, SizeTextCase{"$", std::nullopt}, SizeTextCase{"$-1", std::nullopt},
                      SizeTextCase{"-$1", std::nullopt}, SizeTextCase{"$G", std::nullopt},
                      SizeTextCase{"640 ", std::nullopt}, SizeTextCase{"\t640", std::nullopt},
                      SizeTextCase{"", std::nullopt},
                      // Full-width forms read as their ASCII ones.
                      SizeTextCase{"６４０", 640}, SizeTextCase{"－１", -1}, SizeTextCase{"＋６４０", 640},
                      SizeTextCase{"　640", 640}, SizeTextCase{"　 ６４０", 640}, SizeTextCase{"＄ＦＦ", 255},
                      SizeTextCase{"＄ｆｆ", 255}, SizeTextCase{"64０", 640}, SizeTextCase{"６４０　", std::nullopt},
                      SizeTextCase{"６４０ ", std::nullopt}, SizeTextCase{"６４.０", std::nullopt},
                      SizeTextCase{"①", std::nullopt}, SizeTextCase{"\xEF\xBC", std::nullopt},
                      SizeTextCase{"   ", std::nullopt}, SizeTextCase{"+", std::nullopt},
                      SizeTextCase{"-", std::nullopt}, SizeTextCase{"+-1", std::nullopt},
                      SizeTextCase{"0x10", std::nullopt}, SizeTextCase{"1e3", std::nullopt},
                      SizeTextCase{"64 0", std::nullopt}));

TEST(StrToInt, QuotesTheTextAsTyped)
{
    for (const char* text : {"640 ", "", "６４０　", "abc"}) {
        try {
            StrToInt(text);
            FAIL() << "'" << text << "' was accepted";
        } catch (const Error& error) {
            EXPECT_EQ(std::string(error.what()), std::string("'") + text + "' は整数ではありません");
        }
    }
    EXPECT_EQ(StrToInt(" 640"), 640);
    EXPECT_EQ(StrToInt("　６４０"), 640);
}

} // namespace
} // namespace morvaleth
