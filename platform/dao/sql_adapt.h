// The one place where the program's Jet SQL texts become SQLite's dialect, and
// the few reshapings of a SELECT the recordsets need (row keys, filters).
//
// Every statement, table name, filter and find criteria goes through adapt...:
//  - [name] and `name` become "name"; "name" stays an identifier, 'text' a string;
//  - #mm/dd/yyyy#, #yyyy-mm-dd# (with an optional time) become OLE day numbers;
//  - True and False become -1 and 0;
//  - Primary, Add and Action (SQLite keywords, names in this schema) are quoted
//    where they are names, bare or qualified ("Primary.PID");
//  - runs of "(X = n) OR (X = m) OR ..." over one column and numeric literals
//    become "X IN (n, m, ...)", so lists of thousands of categories stay below
//    SQLite's expression depth;
//  - in CREATE TABLE and ALTER TABLE ... ADD, MEMO is written LONGTEXT and every
//    text column without a collation gets COLLATE NOCASE.
// LIKE patterns keep SQLite's wildcards (% and _); the program's texts use none.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellary::dao::sql {

enum class TokenKind : unsigned char {
  Space,       // blanks and comments
  Word,        // a bare identifier or keyword
  Quoted,      // "identifier"
  Bracketed,   // [identifier]
  Backticked,  // `identifier`
  String,      // 'text'
  Number,
  Date,   // #date#
  Param,  // ?, ?1, :name, @name, $name
  Punct,  // operators and punctuation
};

struct Token {
  TokenKind kind;
  std::string text;  // as written, delimiters included
};

// Splits a text into tokens; an unterminated literal raises 3075.
std::vector<Token> tokenize(std::string_view text);
std::string render(const std::vector<Token>& tokens);

// Jet to SQLite: one or more statements separated by ";".
std::string adaptStatement(std::string_view jet);
// Jet to SQLite: an expression (a filter or find criteria).
std::string adaptExpression(std::string_view jet);
std::vector<Token> adaptTokens(std::string_view jet, bool statement);

// "name" with embedded quotes doubled.
std::string quoteIdentifier(std::string_view name);
// The name an identifier token stands for (delimiters removed).
std::string identifierName(const Token& token);
bool isIdentifier(const Token& token);
// The OLE day number of the inside of a Jet date literal ("12/25/2020 10:30").
std::optional<double> parseJetDate(std::string_view inside);

// The table a record source names, when the source is a single name.
std::optional<std::string> tableNameSource(std::string_view source);

// A SELECT as far as a recordset needs to know it.
struct TableRef {
  std::string table;  // the name in the FROM clause
  std::string alias;  // empty when none
  std::string refText() const { return quoteIdentifier(alias.empty() ? table : alias); }
};
struct SelectShape {
  bool select = false;                    // starts with SELECT
  bool rowBased = false;                  // each result row stands for one row of each table in tables
  size_t fromToken = 0;                   // index of FROM in the token list
  size_t whereToken = std::string::npos;  // index of WHERE, if any
  size_t tailToken = 0;                   // first token after the WHERE condition (GROUP, ORDER, LIMIT or the end)
  std::vector<TableRef> tables;
};
SelectShape analyzeSelect(const std::vector<Token>& tokens);

// The SELECT with extra result columns appended to its select list.
std::string withExtraColumns(const std::vector<Token>& tokens, const SelectShape& shape,
                             const std::vector<std::string>& columns);
// The SELECT narrowed by a condition (already adapted): added to its WHERE
// clause when the select is row-based, else wrapped in an outer SELECT.
std::string withCondition(const std::vector<Token>& tokens, const SelectShape& shape, std::string_view condition);

}  // namespace pellary::dao::sql
