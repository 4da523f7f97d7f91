#include "cli/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

TEST(NumberText, ReadsIntegersLikeAtoiWrappingModulo2To32) {
  EXPECT_EQ(readInteger(" 12x"), 12);
  EXPECT_EQ(readInteger("-5"), -5);
  EXPECT_EQ(readInteger("abc"), 0);
  EXPECT_EQ(readInteger("4294967297"), 1);
  EXPECT_EQ(readInteger("2147483648"), INT32_MIN);
  EXPECT_EQ(readInteger((std::string(300, '0') + "12").c_str()), 12);
}

TEST(NumberText, ReadsDecimalsWithEitherExponentLetterAndNoSpecialForms) {
  EXPECT_EQ(readDecimal(".25"), 0.25);
  EXPECT_EQ(readDecimal(" 5d-1"), 0.5);
  EXPECT_EQ(readDecimal("25D-1x"), 2.5);
  EXPECT_EQ(readDecimal("-1e"), -1.0);
  EXPECT_TRUE(std::isinf(readDecimal("1e999")));
  for (const char* text : {"inf", "nan", "e5", ".", "0x1p3"}) {  // the x ends 0x1p3
    EXPECT_EQ(readDecimal(text), 0.0) << text;
  }
}
