// Runs the tabcube command as a user would and checks what it prints and
// the exit status, for good requests and for every kind of bad input.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

const std::string kSource = TABCUBE_SOURCE_DIR;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A scratch directory for one test's files, removed afterwards.
class Scratch {
 public:
  Scratch() {
    char name[] = "/tmp/tabcube_cmd_XXXXXX";
    _directory = mkdtemp(name);
  }
  ~Scratch() { std::system(("rm -rf '" + _directory + "'").c_str()); }
  std::string Write(const std::string& name, const std::string& text) const {
    const std::string path = _directory + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  const std::string& Directory() const { return _directory; }

 private:
  std::string _directory;
};

Outcome RunTabcube(const std::string& arguments) {
  static int counter = 0;
  const std::string base =
      "/tmp/tabcube_cmd_out_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
  const std::string command =
      std::string(TABCUBE_COMMAND) + " " + arguments + " >" + base + ".out 2>" + base + ".err";
  Outcome outcome;
  const int raw = std::system(command.c_str());
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  outcome.out = Slurp(base + ".out");
  outcome.err = Slurp(base + ".err");
  std::remove((base + ".out").c_str());
  std::remove((base + ".err").c_str());
  return outcome;
}

const char* const kSmallCsv =
    "g,x,s,w\n"
    "1,10,a,1\n"
    "1,20,b,2\n"
    "2,30,a,1\n";

std::string TableRequest(const std::string& data, const std::string& statistics,
                         const std::string& extra = "") {
  return R"({"data": ")" + data + R"(", )" + extra +
         R"("tables": [{"rows": [["g"]], "statistics": )" + statistics + "}]}";
}

void ExpectInputError(const Outcome& outcome, const std::string& message) {
  EXPECT_EQ(outcome.status, 2) << outcome.err;
  EXPECT_NE(outcome.err.find(message), std::string::npos) << "stderr: " << outcome.err;
  EXPECT_TRUE(outcome.out.empty()) << outcome.out;
}

TEST(CommandTest, DemoTextMatchesTheExpectedTables) {
  const Outcome outcome = RunTabcube("demo");
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, Slurp(kSource + "/tests/tools/demo.expected.txt"));
}

// Each bad request stops the run with exit status 2, no output and a message
// naming the place and the problem.
TEST(CommandTest, BadRequestsNameThePlaceAndTheProblem) {
  Scratch scratch;
  scratch.Write("d.csv", kSmallCsv);
  scratch.Write("broken.csv", "g,x\n1,2\n1,\"3\n");
  const std::pair<std::string, std::string> cases[] = {
      {TableRequest("missing.csv", R"(["Count"])"), "missing.csv: cannot open for reading"},
      {TableRequest("broken.csv", R"(["Count"])"), "broken.csv:3:3: quoted field is not closed"},
      {R"({"data": "d.csv", "tables": [{"rows": [["nope"]], "statistics": ["Count"]}]})",
       "$.tables[0].rows: unknown variable or set nope"},
      {R"({"data": "d.csv", "sets": [{"name": "m", "variables": ["x", "s"]}],
          "tables": [{"rows": [["m"]], "statistics": ["Count"]}]})",
       "$.sets[0].variables[1]: set m mixes numeric and string variables"},
      {TableRequest("d.csv", R"(["Mean"])"),
       "$.tables[0].statistics[0]: statistic Mean needs a \"variable\""},
      {TableRequest("d.csv", R"([{"name": "Percentile", "variable": "x", "parameter": 120}])"),
       "$.tables[0].statistics[0].parameter: a percentile must lie in [0, 100]"},
      {TableRequest("d.csv", R"(["Count"])", R"("weight": "s", )"),
       "weight: variable s is a string"},
      {R"({"data": "d.csv", "tables": []})", "$.tables: the request has no table"},
  };
  for (const auto& [request, message] : cases)
    ExpectInputError(RunTabcube("run " + scratch.Write("r.json", request)), message);
  // A failed run leaves no output file behind.
  const std::string output = scratch.Directory() + "/out.txt";
  const std::string broken = scratch.Write("b.json", TableRequest("broken.csv", R"(["Count"])"));
  EXPECT_EQ(RunTabcube("run " + broken + " --output " + output).status, 2);
  EXPECT_FALSE(std::ifstream(output).good());
}

TEST(CommandTest, OutputToADeviceIsWrittenInPlace) {
  Scratch scratch;
  scratch.Write("d.csv", kSmallCsv);
  const std::string request = scratch.Write("r.json", TableRequest("d.csv", R"(["Count"])"));
  const std::string fifo = scratch.Directory() + "/pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A reader drains the pipe while the command writes; the pipe must still be
  // a pipe afterwards (not replaced by a renamed regular file).
  const std::string drained = scratch.Directory() + "/drained";
  std::system(("cat '" + fifo + "' > '" + drained + "' &").c_str());
  const Outcome outcome = RunTabcube("run " + request + " --output " + fifo);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  struct stat status;
  ASSERT_EQ(stat(fifo.c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

TEST(CommandTest, WeightsWhoseSumOverflowsAreRefused) {
  Scratch scratch;
  scratch.Write("d.csv", "g,x,w\n1,2,1e308\n1,3,1e308\n");
  const std::string request = scratch.Write(
      "r.json", TableRequest("d.csv", R"(["Count", {"name": "Median", "variable": "x"}])",
                             R"("weight": "w", )"));
  // With two parts each part's sum is finite; only their total overflows.
  for (const char* threads : {"0", "1", "2"})
    ExpectInputError(RunTabcube("run " + request + " --threads " + threads),
                     "tabcube: weight: the sum of the weights overflows at case 2 (weight "
                     "1e+308); scale the weights down");
}

TEST(CommandTest, MessagesShareOnePrefixAndSayWhy) {
  Scratch scratch;
  scratch.Write("d.csv", "g,x\n1,2\n1,NaN\n");
  const std::string request =
      scratch.Write("r.json", TableRequest("d.csv", R"([{"name": "Mean", "variable": "x"}])"));
  ExpectInputError(RunTabcube("run " + request),
                   "tabcube: " + request +
                       ": $.tables[0].statistics[0].variable: statistic Mean needs a numeric "
                       "variable; column x was read as text because of line 3: \"NaN\"");
  const std::string counts = scratch.Write("c.json", TableRequest("d.csv", R"(["Count"])"));
  ExpectInputError(RunTabcube("run " + counts + " --output /nonexistent/out.txt"),
                   "tabcube: /nonexistent/out.txt: cannot write: No such file or directory");
  ExpectInputError(RunTabcube("run " + request + " --no-such-option"), "tabcube: arguments: ");
}

// Cases spread over several batches of the threaded reader, with weights that
// leave some cases out, feeding a weighted and an unweighted table.
std::string ManyCases(int cases, bool badLast) {
  std::string text = "g,x,w\n";
  for (int i = 0; i < cases; ++i) {
    text += std::to_string(i % 3 + 1) + "," + std::to_string(i % 7) + "," +
            std::to_string((i % 5) * 0.5) + "\n";
  }
  if (badLast) text += "1,oops,1\n";
  return text;
}

const char* const kTwoTables =
    R"({"data": "d.csv", "dictionary": "d.json", "weight": "w", "tables": [)"
    R"({"rows": [["g"]], "variables": {"g": {"totals": true}},)"
    R"( "statistics": ["Count", "UCount", {"name": "Mean", "variable": "x"}]},)"
    R"({"rows": [["x"]], "columns": [["g"]], "weighted": false,)"
    R"( "statistics": ["Count", "ColPct", {"name": "Median", "variable": "x"}]}]})";

const char* const kNumericDictionary =
    R"({"variables": [{"name": "g", "type": "numeric"}, {"name": "x", "type": "numeric"},)"
    R"( {"name": "w", "type": "numeric"}]})";

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
  return fields;
}

// Long CSV tables alike line by line; a value (the 18th field) may differ by
// 1e-12 of itself, as running means do when cases are added in another order.
void ExpectSameCsvTables(const std::string& actual, const std::string& expected) {
  std::istringstream a(actual), e(expected);
  std::string lineA, lineE;
  while (std::getline(e, lineE)) {
    ASSERT_TRUE(std::getline(a, lineA)) << "missing " << lineE;
    if (lineA == lineE) continue;
    std::vector<std::string> fieldsA = Fields(lineA), fieldsE = Fields(lineE);
    ASSERT_EQ(fieldsA.size(), fieldsE.size()) << lineA;
    ASSERT_GT(fieldsE.size(), 17u) << lineE;
    const double valueA = std::stod(fieldsA[17]), valueE = std::stod(fieldsE[17]);
    EXPECT_NEAR(valueA, valueE, 1e-12 * std::abs(valueE)) << lineE;
    fieldsA[17] = fieldsE[17];
    EXPECT_EQ(fieldsA, fieldsE);
  }
  EXPECT_FALSE(std::getline(a, lineA)) << "extra " << lineA;
}

// Tables on threads of their own (1) and the file read in parts on threads
// (3, 7) give the tables of one thread.
TEST(CommandTest, TablesOnThreadsGiveTheSameTablesAsOneThread) {
  Scratch scratch;
  scratch.Write("d.csv", ManyCases(5000, false));
  scratch.Write("d.json", kNumericDictionary);
  const std::string request = scratch.Write("r.json", kTwoTables);
  const Outcome inline_ = RunTabcube("run " + request + " --format csv --threads 0");
  ASSERT_EQ(inline_.status, 0) << inline_.err;
  for (const char* threads : {"1", "3", "7"}) {
    const Outcome threaded = RunTabcube("run " + request + " --format csv --threads " + threads);
    ASSERT_EQ(threaded.status, 0) << threaded.err;
    ExpectSameCsvTables(threaded.out, inline_.out);
  }
  const Outcome threaded = RunTabcube("run " + request + " --format csv --threads 1");
  // A fifth of the cases weigh 0 and are left out of the weighted table: of
  // the 1667 cases with g = 1, those with i % 5 == 0 (i = 0, 15, 30, ...).
  EXPECT_NE(threaded.out.find(",g,row,1,1,value,,,,,,UCount,,,,,1333,,"), std::string::npos)
      << threaded.out.substr(0, 2000);
}

TEST(CommandTest, BadDataStopsEveryTableThread) {
  Scratch scratch;
  scratch.Write("d.csv", ManyCases(3000, true));
  scratch.Write("d.json", kNumericDictionary);
  const std::string request = scratch.Write("r.json", kTwoTables);
  for (const char* threads : {"0", "1", "3"})
    ExpectInputError(RunTabcube("run " + request + " --threads " + threads),
                     "d.csv:3002:2: variable x: \"oops\" is not a number");
  // A column no table reads is not parsed: its faults do not stop the run.
  const std::string counts =
      scratch.Write("c.json", TableRequest("d.csv", R"(["Count"])", R"("dictionary": "d.json", )"));
  EXPECT_EQ(RunTabcube("run " + counts).status, 0);
}

}  // namespace
