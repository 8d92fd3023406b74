// Faults the fuzz targets found in the command's readers, each pinned to the
// clear error the input must give (see also fuzz/regressions/).

#include <gtest/gtest.h>

#include <string>

#include "Dictionary.h"
#include "InputError.h"
#include "Request.h"

namespace {

std::string RequestError(const std::string& text) {
  try {
    ParseRequest(text, "r.json", "");
  } catch (const InputError& error) {
    return error.what();
  }
  return "(no error)";
}

std::string DictionaryError(const std::string& text) {
  try {
    ParseDictionary(text, "d.json");
  } catch (const InputError& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(ReaderRobustnessTest, NumbersBeyondDoubleAreInvalidJson) {
  const std::string request = RequestError(
      R"({"tables": [{"rows": [["g"]], "statistics": [{"name": "Percentile", "variable": "x",)"
      R"( "parameter": 1e999}]}]})");
  EXPECT_EQ(request.rfind("r.json: not valid JSON: ", 0), 0u) << request;
  EXPECT_NE(request.find("1e999"), std::string::npos) << request;
  const std::string dictionary = DictionaryError(
      R"({"variables": [{"name": "a", "type": "numeric", "valueLabels": [[-1e400, "x"]]}]})");
  EXPECT_EQ(dictionary.rfind("d.json: not valid JSON: ", 0), 0u) << dictionary;
}

TEST(ReaderRobustnessTest, LabelOptionDoesNotWrapIntoRange) {
  // 2^32 and 2^32 + 3 are 0 and 3 when cut to 32 bits.
  for (const char* option : {"4294967296", "4294967299", "18446744073709551615", "-1"}) {
    const std::string error =
        RequestError(std::string(R"({"tables": [{"rows": [["g"]], )") +
                     R"("statistics": ["Count"], "labelOption": )" + option + "}]}");
    EXPECT_EQ(error, "r.json: $.tables[0].labelOption: expected a whole number from 0 to 4")
        << option;
  }
  EXPECT_EQ(ParseRequest(R"({"tables": [{"rows": ["g"], "statistics": ["Count"], )"
                         R"("labelOption": 4}]})",
                         "r.json", "")
                .tables[0]
                .labelOption,
            4);
}

}  // namespace
