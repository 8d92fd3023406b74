#include "CsvReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "Dictionary.h"
#include "InputError.h"

namespace {

// Writes text to a fresh temporary file and removes it at the end of the test.
class TempFile {
 public:
  explicit TempFile(const std::string& text) {
    char name[] = "/tmp/tabcube_csv_XXXXXX";
    const int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    _path = name;
    FILE* file = fdopen(fd, "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
  ~TempFile() { std::remove(_path.c_str()); }
  const std::string& Path() const { return _path; }

 private:
  std::string _path;
};

std::vector<std::vector<std::string>> ReadAll(const std::string& text) {
  TempFile file(text);
  CsvReader reader(file.Path());
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> fields;
  while (reader.NextRecord(fields)) records.push_back(fields);
  return records;
}

std::string ErrorOf(const std::string& text) {
  TempFile file(text);
  try {
    CsvReader reader(file.Path());
    std::vector<std::string> fields;
    // A pass begun again after its first record reports the same places.
    reader.NextRecord(fields);
    reader.Rewind();
    while (reader.NextRecord(fields)) {
    }
  } catch (const InputError& error) {
    std::string message = error.what();
    return message.substr(file.Path().size());  // drop the temporary name
  }
  return "no error";
}

using Records = std::vector<std::vector<std::string>>;

// Quoted fields hold separators, quotes and line breaks; CRLF, a byte order
// mark, a missing last line end; empty fields and an inner empty line.
TEST(CsvReaderTest, RecordsAndFields) {
  EXPECT_EQ(ReadAll("a,b,c\n\"x,y\",\"say \"\"hi\"\"\",\"two\nlines\"\n"),
            (Records{{"a", "b", "c"}, {"x,y", "say \"hi\"", "two\nlines"}}));
  EXPECT_EQ(ReadAll("\xEF\xBB\xBFname,v\r\nx,1\r\ny,2"),
            (Records{{"name", "v"}, {"x", "1"}, {"y", "2"}}));
  EXPECT_EQ(ReadAll("a\n\n"), (Records{{"a"}, {""}}));
  EXPECT_EQ(ReadAll(""), Records{});
  EXPECT_EQ(ReadAll(",,\n\"\",x,\n"), (Records{{"", "", ""}, {"", "x", ""}}));
}

TEST(CsvReaderTest, LongFieldsCrossTheReadBlock) {
  const std::string big(3 << 20, 'z');
  const Records records = ReadAll("h\n" + big + "\n\"" + big + "\"\n");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1][0], big);
  EXPECT_EQ(records[2][0], big);
}

TEST(CsvReaderTest, MalformedInputNamesLineAndColumn) {
  EXPECT_EQ(ErrorOf("a,b\n1,\"open\n"), ":2:3: quoted field is not closed");
  EXPECT_EQ(ErrorOf("a,b\n1,ab\"c\n"), ":2:5: quote inside an unquoted field");
  EXPECT_EQ(ErrorOf("a\n\"x\"y\n"), ":2:4: unexpected character after a closing quote");
}

TEST(CsvReaderTest, BytesThatAreNotUtf8NameTheirPlace) {
  // Two-, three- and four-byte characters pass, quoted or not, across lines.
  EXPECT_EQ(ReadAll("a,b\n\xC3\xA9\xE0\xA4\x85,\"\xE2\x82\xAC\n\xF0\x9F\x98\x80\"\n"),
            (Records{{"a", "b"}, {"\xC3\xA9\xE0\xA4\x85", "\xE2\x82\xAC\n\xF0\x9F\x98\x80"}}));
  const std::string kRule = " (the data must be UTF-8 text)", notUtf8 = " is not UTF-8" + kRule;
  EXPECT_EQ(ErrorOf("a,b\nx,ab\x80\n"), ":2:5: byte 0x80" + notUtf8);
  EXPECT_EQ(ErrorOf("a,b\nx,ab\xE9\n"), ":2:5: an incomplete UTF-8 character" + kRule);
  EXPECT_EQ(ErrorOf("a\n\"x\ny\xFF\"\n"), ":3:2: byte 0xFF" + notUtf8);
  const std::string incomplete = "an incomplete UTF-8 character (the data must be UTF-8 text)";
  EXPECT_EQ(ErrorOf("a,b\n\xC3,x\n"), ":2:1: " + incomplete);
  EXPECT_EQ(ErrorOf("a\nx\xED\xA0\x80\n"), ":2:2: " + incomplete);  // a UTF-16 surrogate
  EXPECT_EQ(ErrorOf("a\nxy\xE2\x82"), ":2:3: " + incomplete);       // cut by the end
}

std::vector<std::vector<std::string>> ReadPart(const std::string& path, uint64_t first,
                                               uint64_t end) {
  CsvReader reader(path, first, end);
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> fields;
  while (reader.NextRecord(fields)) records.push_back(fields);
  return records;
}

// A file cut at any byte, inside a quoted line break, between CR and LF,
// inside a doubled quote or a character, reads as the same records in two
// parts as in one pass; so does a cut into three parts.
TEST(CsvReaderTest, PartsCutAtEveryByteReadTheRecordsOfOnePass) {
  const std::string text =
      "\xEF\xBB\xBF"
      "a,b\r\n\"x\r\ny\",1\r\n\"say \"\"hi\"\"\n,\",\xC3\xA9\rlone,\"\"\n\n"
      "\"\"\"\",\"q\nq\nq\"\nlast,line";
  TempFile file(text);
  CsvReader header(file.Path());
  std::vector<std::string> fields;
  ASSERT_TRUE(header.NextRecord(fields));
  const uint64_t first = header.Offset();
  Records whole = ReadAll(text);
  whole.erase(whole.begin());
  ASSERT_EQ(whole.size(), 6u);
  for (uint64_t cut = first; cut <= text.size(); ++cut) {
    for (const std::vector<uint64_t>& cuts :
         {std::vector<uint64_t>{cut}, std::vector<uint64_t>{first + (cut - first) / 2, cut}}) {
      const std::vector<uint64_t> starts = SplitCsvRecordsAt(file.Path(), first, cuts);
      ASSERT_EQ(starts.size(), cuts.size() + 2);
      Records parts;
      for (size_t k = 0; k + 1 < starts.size(); ++k)
        for (auto& record : ReadPart(file.Path(), starts[k], starts[k + 1]))
          parts.push_back(record);
      EXPECT_EQ(parts, whole) << "cut at " << cut;
    }
  }
  const std::vector<uint64_t> four = SplitCsvRecords(file.Path(), first, 4);
  EXPECT_EQ(four.size(), 5u);  // four parts: their starts and the end
  EXPECT_EQ(four.back(), text.size());
}

std::string DictionaryError(const std::string& text) {
  try {
    ParseDictionary(text, "d.json");
  } catch (const InputError& error) {
    return error.what();
  }
  return "no error";
}

TEST(DictionaryTest, BadDictionariesNameThePathAndTheProblem) {
  EXPECT_EQ(DictionaryError(R"({"variables": [{"name": "a", "type": "date"}]})"),
            "d.json: $.variables[0].type: expected \"numeric\" or \"string\", found \"date\"");
  EXPECT_EQ(DictionaryError(R"({"variables": [{"name": "s", "type": "string", "width": 2,
            "valueLabels": [["abc", "x"]]}]})"),
            "d.json: $.variables[0].valueLabels[0][0]: string \"abc\" is wider than variable s (2 "
            "bytes)");
  EXPECT_EQ(DictionaryError(R"({"variables": [{"name": "s", "type": "string", "width": 2}],
            "weight": "s"})"),
            "d.json: $.weight: weight variable s is a string");
  EXPECT_EQ(DictionaryError(R"({"variables": []}, )").substr(0, 26), "d.json: not valid JSON: [j");
}

TEST(DictionaryTest, NumbersParseWholeFieldsOnly) {
  for (const auto& [text, number] : {std::pair<const char*, double>{" 12.5 ", 12.5}, {"+3", 3}}) {
    double value = 0;
    EXPECT_TRUE(ParseNumber(text, value)) << text;
    EXPECT_EQ(value, number) << text;
  }
  for (const char* text : {"12a", "", "nan", "1e999"}) {
    double value = 0;
    EXPECT_FALSE(ParseNumber(text, value)) << text;
  }
}

}  // namespace
