#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "update/cue/cue_tables.h"
#include "update/cue/cue_values.h"

namespace pellary::cue {
namespace {

// ops: I = Integer, L = Long, S = String; the last op raises error when it is not 0.
struct ValueCase {
  const char* name;
  std::string input;
  std::string ops;
  std::vector<std::string> expected;
  long error = 0;
};

class ValueReading : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueReading, ReadsValuesInOrder) {
  const ValueCase& c = GetParam();
  ValueReader in(c.input);
  ASSERT_TRUE(in.nextRecord());
  std::vector<std::string> got;
  long error = 0;
  try {
    for (char op : c.ops) {
      if (op == 'I') got.push_back(std::to_string(in.readInteger()));
      if (op == 'L') got.push_back(std::to_string(in.readLong()));
      if (op == 'S') got.push_back(in.readString());
    }
  } catch (const AppError& e) {
    error = e.number();
  }
  EXPECT_EQ(error, c.error);
  EXPECT_EQ(got, c.expected);
  if (c.error == 0) {
    EXPECT_FALSE(in.nextRecord()) << "values left over";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ValueReading,
    ::testing::Values(ValueCase{"QuotedWithCommas", "\"Holidays, public\",7", "SI", {"Holidays, public", "7"}},
                      ValueCase{"LeadingBlanks", "   12,   abc  ,\t-5", "ISI", {"12", "abc", "-5"}},
                      ValueCase{"EmptyValues", ",,\r\n", "ISL", {"0", "", "0"}},
                      ValueCase{"CrLfAndLoneLfSeparateLikeCommas", "1\r\n2\n3,4", "IIII", {"1", "2", "3", "4"}},
                      ValueCase{"NoFinalLineEnd", "1,\"last\"", "IS", {"1", "last"}},
                      ValueCase{"QuotedNumber", "\" 42 \"", "L", {"42"}},
                      ValueCase{"IntegerLimits", "-32768,32767", "II", {"-32768", "32767"}},
                      ValueCase{"IntegerOverflow", "32768", "I", {}, err::Overflow},
                      ValueCase{"LongLimits", "-2147483648,2147483647", "LL", {"-2147483648", "2147483647"}},
                      ValueCase{"LongOverflow", "1,2147483648", "LL", {"1"}, err::Overflow},
                      ValueCase{"HugeNumber", "99999999999999999999999", "L", {}, err::Overflow},
                      ValueCase{"NotANumber", "12x", "I", {}, err::TypeMismatch},
                      ValueCase{"SignAlone", "-", "I", {}, err::TypeMismatch},
                      ValueCase{"RecordCutShort", "1,2", "III", {"1", "2"}, kInputPastEnd},
                      ValueCase{"QuoteLeftOpen", "\"open,1\r\n2", "S", {}, err::TypeMismatch},
                      ValueCase{"TextAfterClosingQuote", "\"a\"b,1", "S", {}, err::TypeMismatch},
                      ValueCase{"Windows1252Decoded", "\"caf\xe9 \x80\"", "S", {"caf\xc3\xa9 \xe2\x82\xac"}},
                      ValueCase{"UnquotedKeepsInnerSpaces", "New  Year ,1", "SI", {"New  Year", "1"}},
                      ValueCase{"NulInText", std::string("\"a\0b\",1", 7), "SI", {}, err::InvalidCall},
                      ValueCase{"ControlByteInUnquotedText", "a\x1b[31m,1", "SI", {}, err::InvalidCall},
                      ValueCase{"DeleteByteInText", "\"a\x7f\"", "S", {}, err::InvalidCall},
                      ValueCase{"TabInTextIsKept", "\"a\tb\"", "S", {"a\tb"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ValueReader, BlankLinesBetweenRecordsAreNoValues) {
  ValueReader in("1,2\r\n\r\n  \r\n3,4\r\n\r\n");
  std::vector<int> got;
  while (in.nextRecord()) {
    got.push_back(in.readInteger());
    got.push_back(in.readInteger());
  }
  EXPECT_EQ(got, (std::vector<int>{1, 2, 3, 4}));
}

// Read from a stream, block by block, the values are those of the bytes read
// whole, wherever a value, a quote or a CR LF falls across a block's edge.
TEST(ValueReader, StreamedInBlocksReadsWhatTheWholeBytesHold) {
  std::string bytes;
  for (int i = 0; i < 30000; ++i)
    bytes += std::to_string(i) + ", \"name, " + std::string(size_t(i % 7), 'x') + "\" ," + std::to_string(i % 3) +
             (i % 2 ? "\r\n" : "\n");
  std::istringstream stream(bytes);
  ValueReader streamed(stream), whole(bytes);
  int records = 0;
  while (whole.nextRecord()) {
    ASSERT_TRUE(streamed.nextRecord()) << records;
    EXPECT_EQ(streamed.line(), whole.line());
    ASSERT_EQ(streamed.readLong(), whole.readLong());
    ASSERT_EQ(streamed.readString(), whole.readString());
    ASSERT_EQ(streamed.readInteger(), whole.readInteger());
    ++records;
  }
  EXPECT_FALSE(streamed.nextRecord());
  EXPECT_EQ(records, 30000);
  EXPECT_GT(bytes.size(), size_t(4) << 16) << "several blocks";
}

TEST(ValueReader, ARecordMaySpanLines) {
  TableRows rows = parseTable(eventCatLayout(), "1204\r\n1001,1\r\n1204,1002\r\n1\r\n");
  ASSERT_EQ(rows.count, 2u);
  EXPECT_EQ(rows.value(1, 1).toLong(), 1002);
  EXPECT_EQ(rows.value(1, 2).toInteger(), 1);
}

TEST(TableParsing, MalformedRecordNamesFileRecordAndColumn) {
  try {
    parseTable(primaryLayout(), "1,10,\"A\",1\r\n1,20,\"B\",x\r\n");
    FAIL() << "no error";
  } catch (const AppError& e) {
    EXPECT_EQ(e.number(), err::TypeMismatch);
    EXPECT_NE(e.description().find("Primary.cue, record 2 (line 2)"), std::string::npos) << e.description();
    EXPECT_NE(e.description().find("Status"), std::string::npos) << e.description();
  }
}

// Every column that holds an ID, in every file, refuses a negative number
// before anything is written; other numbers may be negative.
TEST(TableParsing, NegativeIdsAreRefusedNamingTheColumn) {
  struct Case {
    const TableLayout* layout;
    const char* record;
    const char* column;
  } cases[] = {{&primaryLayout(), "-1,10,\"a\",1", "ProductID"},
               {&primaryLayout(), "1,-10,\"a\",1", "PID"},
               {&secondaryLayout(), "1,10,-2,\"a\",1", "SID"},
               {&tertiaryLayout(), "1,10,2,3,-501,\"a\",5,1", "CatID"},
               {&eventCatLayout(), "501,-7,1", "EventID"},
               {&reTemplateLayout(), "1,-7,\"a\",1,1,0", "Template_Id"},
               {&reStructureLayout(), "1,7,-8,1,0", "ChildTemplate_Id"},
               {&productLayout(), "-101,1,\"a\",1,1,1", "ProgProductID"}};
  for (const Case& c : cases) {
    try {
      parseTable(*c.layout, std::string(c.record) + "\r\n");
      ADD_FAILURE() << c.record;
    } catch (const AppError& e) {
      EXPECT_EQ(e.number(), err::InvalidCall) << c.record;
      EXPECT_NE(e.description().find(std::string(c.layout->file) + ", record 1 (line 1)"), std::string::npos)
          << e.description();
      EXPECT_NE(e.description().find(std::string("(") + c.column + ")"), std::string::npos) << e.description();
    }
  }
  EXPECT_EQ(parseTable(primaryLayout(), "1,10,\"a\",-1\r\n").count, 1u) << "a Status is no ID";
  EXPECT_THROW(parseEvents("-7,\"T\",\"\",\"\",0,0,0,\"\",\"\",\"\",\"\",1,1,0\r\n"), AppError);
  EXPECT_EQ(parseEvents("7,\"T\",\"\",\"\",-86400,0,0,\"\",\"\",\"\",\"\",-1,-1,0\r\n").size(), 1u)
      << "dates, priorities and versions are no IDs";
}

TEST(TableParsing, EventRecordsWithActionCodes) {
  std::vector<EventRecord> ev = parseEvents(
      "7,\"Final\",\"m\",\"ml\",86400,172800,0,\"http://x\",\" 44 \",\"20\",\"7946\",1,3,2,1,3\r\n"
      "8,\"T\",\"\",\"\",0,0,0,\"\",\"\",\"\",\"\",2,1,0\r\n");
  ASSERT_EQ(ev.size(), 2u);
  EXPECT_EQ(ev[0].actions, (std::vector<int16_t>{1, 3}));
  EXPECT_EQ(ev[0].telCountry, " 44 ");
  EXPECT_TRUE(ev[1].actions.empty());
  EXPECT_EQ(ev[1].priority, 2);

  try {
    parseEvents("9,\"T\",\"\",\"\",0,0,0,\"\",\"\",\"\",\"\",2,1,3,1\r\n");
    FAIL() << "no error";
  } catch (const AppError& e) {
    EXPECT_EQ(e.number(), kInputPastEnd);
    EXPECT_NE(e.description().find("events.kest, record 1"), std::string::npos) << e.description();
  }
}

TEST(TimeCode, CountsSecondsFromNewYear1970WithoutTimeZone) {
  const char* zones[] = {"UTC", "America/New_York", "Asia/Kolkata", "Pacific/Chatham"};
  for (const char* tz : zones) {
    setenv("TZ", tz, 1);
    tzset();
    EXPECT_DOUBLE_EQ(oleFromTimeCode(0), 25569.0) << tz;
    EXPECT_DOUBLE_EQ(oleFromTimeCode(86400), 25570.0) << tz;
    EXPECT_DOUBLE_EQ(oleFromTimeCode(43200), 25569.5) << tz;
    EXPECT_DOUBLE_EQ(oleFromTimeCode(-86400), 25568.0) << tz;
  }
  unsetenv("TZ");
  tzset();
  // The last second of the 32-bit range: 19 Jan 2038 03:14:07.
  EXPECT_NEAR(oleFromTimeCode(INT32_MAX), 50424.0 + (3 * 3600 + 14 * 60 + 7) / 86400.0, 1e-9);
}

}  // namespace
}  // namespace pellary::cue
