// SPDX-License-Identifier: Apache-2.0
// The picture and strings-table formats our resource generators write and read.
#include <gtest/gtest.h>

#include <random>

#include "image.h"
#include "strings_table.h"

namespace {

using namespace vres;

RgbImage Pattern(int w, int h, bool twoTone) {
  RgbImage image(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.at(x, y) = twoTone ? (((x * 7 + y * 3) % 5) < 2 ? kBlack : kWhite)
                               : Rgb{uint8_t(x * 37), uint8_t(y * 11), uint8_t(x ^ y)};
  return image;
}

TEST(BmpFormat, RoundTripsEveryRowPaddingAndKeepsTopRowFirst) {
  for (int w : {1, 2, 3, 4, 5, 7, 8, 9, 31, 33, 120}) {
    const RgbImage colour = Pattern(w, 5, false);
    const auto back24 = DecodeBmp(EncodeBmp24(colour));
    ASSERT_TRUE(back24) << w;
    EXPECT_EQ(back24->width, w);
    EXPECT_EQ(back24->height, 5);
    EXPECT_EQ(back24->pixels, colour.pixels) << w;

    const RgbImage mono = Pattern(w, 6, true);
    const auto back1 = DecodeBmp(EncodeBmp1(mono));
    ASSERT_TRUE(back1) << w;
    EXPECT_EQ(back1->pixels, mono.pixels) << w;
  }
}

TEST(BmpFormat, OneBitFileIsSmallAndDeclaresItsDepth) {
  const Bytes bmp = EncodeBmp1(Pattern(120, 90, true));
  // 14 + 40 header bytes, two palette entries, 16-byte rows.
  EXPECT_EQ(bmp.size(), 14u + 40u + 8u + 16u * 90u);
  EXPECT_EQ(bmp[28], 1);
  EXPECT_EQ(bmp[29], 0);
}

TEST(BmpFormat, ReadsTopDownFiles) {
  const RgbImage image = Pattern(3, 4, false);
  Bytes bmp = EncodeBmp24(image);
  // Negate the height and reverse the rows: the same picture stored top-down.
  const int32_t negative = -4;
  for (int i = 0; i < 4; ++i) bmp[22 + i] = uint8_t(uint32_t(negative) >> (8 * i));
  const size_t stride = 12, at = 54;
  Bytes rows(bmp.begin() + at, bmp.end());
  for (int r = 0; r < 4; ++r)
    std::copy_n(rows.begin() + (3 - r) * stride, stride, bmp.begin() + at + r * stride);
  const auto back = DecodeBmp(bmp);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->pixels, image.pixels);
}

TEST(BmpFormat, RefusesDamagedOrForeignData) {
  const Bytes good = EncodeBmp24(Pattern(9, 7, false));
  for (size_t n = 0; n < good.size(); ++n)
    EXPECT_FALSE(DecodeBmp(std::span(good).first(n))) << "truncated to " << n;
  Bytes compressed = good;
  compressed[30] = 1;  // RLE8
  EXPECT_FALSE(DecodeBmp(compressed));
  Bytes huge = good;
  huge[18] = huge[19] = huge[20] = 0xFF;  // width 16 million
  huge[21] = 0x00;
  EXPECT_FALSE(DecodeBmp(huge));
  Bytes offset = good;
  offset[10] = offset[11] = offset[12] = offset[13] = 0xFF;  // pixels beyond the end
  EXPECT_FALSE(DecodeBmp(offset));
}

TEST(BmpFormat, RandomCorruptionNeverReadsOutOfBounds) {
  const Bytes good = EncodeBmp1(Pattern(33, 17, true));
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    Bytes bad = good;
    for (int i = 0; i < 4; ++i) bad[random() % 62] = uint8_t(random());
    const auto image = DecodeBmp(bad);
    if (image) {
      EXPECT_EQ(image->pixels.size(), size_t(image->width) * image->height);
    }
  }
}

TEST(IcoFormat, RoundTripsColourAndAlpha) {
  RgbaImage icon{5, 3, {}};
  for (int i = 0; i < 15; ++i) icon.rgba.insert(icon.rgba.end(), {uint8_t(i), uint8_t(2 * i), uint8_t(3 * i), uint8_t(i % 3 ? 255 : 0)});
  const Bytes ico = EncodeIco(icon);
  const auto back = DecodeIco(ico);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->width, 5);
  EXPECT_EQ(back->height, 3);
  EXPECT_EQ(back->rgba, icon.rgba);
  for (size_t n = 0; n < ico.size(); ++n) EXPECT_FALSE(DecodeIco(std::span(ico).first(n))) << n;
}

TEST(PpmFormat, RoundTripsAndSkipsHeaderComments) {
  const RgbImage image = Pattern(4, 3, false);
  const auto back = DecodePpm(EncodePpm(image));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->pixels, image.pixels);

  Bytes withComment = {'P', '6', '\n', '#', ' ', 'x', '\n', '1', ' ', '1', '\n', '2', '5', '5', '\n', 1, 2, 3};
  const auto one = DecodePpm(withComment);
  ASSERT_TRUE(one);
  EXPECT_EQ(one->at(0, 0), (Rgb{1, 2, 3}));
  withComment.pop_back();
  EXPECT_FALSE(DecodePpm(withComment));
  EXPECT_FALSE(DecodePpm(Bytes{'P', '6', ' ', '2', ' ', '2', ' ', '6', '5', '5', '3', '5', ' '}));
}

std::vector<StringsEntry> Parse(std::string_view text) {
  std::vector<StringsEntry> entries;
  std::string error;
  EXPECT_TRUE(ParseStrings(text, entries, error)) << error;
  return entries;
}

std::string ParseError(std::string_view text) {
  std::vector<StringsEntry> entries;
  std::string error;
  EXPECT_FALSE(ParseStrings(text, entries, error)) << text;
  return error;
}

TEST(StringsTable, ReadsEntriesCommentsAndEscapes) {
  const auto entries = Parse(
      "/* block\n comment */\n"
      "\"A\" = \"one\";  // line comment\n"
      "\"B\"=\"say \\\"hi\\\"\\n\\\\ \\U00e9\";\n");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].key, "A");
  EXPECT_EQ(entries[0].value, "one");
  EXPECT_EQ(entries[0].line, 3);
  EXPECT_EQ(entries[1].value, "say \"hi\"\n\\ \xC3\xA9");
  EXPECT_TRUE(Parse("  \n/* only a comment */\n").empty());
}

TEST(StringsTable, NamesTheLineOfEachFault) {
  EXPECT_EQ(ParseError("\"A\" = \"1\";\n\"A\" = \"2\";"), "line 2: key \"A\" given twice");
  EXPECT_EQ(ParseError("\"A\" = \"1\"\n\"B\" = \"2\";"), "line 2: expected ';'");
  EXPECT_EQ(ParseError("\"A\" \"1\";"), "line 1: expected '='");
  EXPECT_EQ(ParseError("\"A\" = \"1;"), "line 1: quoted text not closed");
  EXPECT_EQ(ParseError("\"A\" = \"1\n\";"), "line 1: line break inside a quoted text");
  EXPECT_EQ(ParseError("\n/* open"), "line 2: comment not closed");
  EXPECT_EQ(ParseError("\"A\" = \"\\q\";"), "line 1: unknown escape \\q");
  EXPECT_EQ(ParseError("\"A\" = \"\\U12\";"), "line 1: bad \\U escape");
  EXPECT_EQ(ParseError("A = \"1\";"), "line 1: expected '\"'");
}

TEST(StringsTable, Utf16WithByteOrderMarkRoundTrips) {
  const std::string text = "\"K\" = \"\xE7\xB6\xB2\xE7\x82\xB9 \xF0\x9F\x96\xA8\";";  // CJK and a non-BMP sign
  const auto utf16 = EncodeUtf16Le(text);
  ASSERT_TRUE(utf16);
  EXPECT_EQ((*utf16)[0], 0xFF);
  EXPECT_EQ((*utf16)[1], 0xFE);
  EXPECT_EQ(StringsFileText(*utf16), text);

  Bytes bigEndian = {0xFE, 0xFF};
  for (size_t i = 2; i + 1 < utf16->size(); i += 2) bigEndian.insert(bigEndian.end(), {(*utf16)[i + 1], (*utf16)[i]});
  EXPECT_EQ(StringsFileText(bigEndian), text);

  Bytes utf8Bom = {0xEF, 0xBB, 0xBF};
  utf8Bom.insert(utf8Bom.end(), text.begin(), text.end());
  EXPECT_EQ(StringsFileText(utf8Bom), text);
}

TEST(StringsTable, RefusesBrokenEncodings) {
  EXPECT_FALSE(EncodeUtf16Le("bad \xC3"));
  EXPECT_FALSE(EncodeUtf16Le("overlong \xC0\xAF"));
  EXPECT_FALSE(EncodeUtf16Le("surrogate \xED\xA0\x80"));
  EXPECT_FALSE(StringsFileText(Bytes{'a', 0xFF, 'b'}));
  EXPECT_FALSE(StringsFileText(Bytes{0xFF, 0xFE, 0x00, 0xD8, 'a', 0}));  // lone high surrogate
  EXPECT_FALSE(StringsFileText(Bytes{0xFF, 0xFE, 'a'}));                 // odd length
}

TEST(FormatConversions, CountsStringArgumentsApartFromOthers) {
  EXPECT_EQ(CountConversions("Test %s").strings, 1);
  EXPECT_EQ(CountConversions("Test %s").others, 0);
  EXPECT_EQ(CountConversions("100%% done").strings + CountConversions("100%% done").others, 0);
  EXPECT_EQ(CountConversions("%s and %s").strings, 2);
  EXPECT_EQ(CountConversions("%d items").others, 1);
  EXPECT_EQ(CountConversions("%5s").others, 1);  // only the plain form is safe with any letter
  EXPECT_EQ(CountConversions("%@").others, 1);
  EXPECT_EQ(CountConversions("trailing %").others, 1);
  EXPECT_EQ(CountConversions("%1$s").others, 1);
}

}  // namespace
