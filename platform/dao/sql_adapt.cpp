#include "platform/dao/sql_adapt.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <initializer_list>

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/text/trim.h"
#include "platform/variant.h"

namespace pellary::dao::sql {

namespace {

using paths::equalsIgnoreCase;

bool isWordStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool isWordChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

[[noreturn]] void syntaxError(std::string_view text, std::string_view why) {
  raise(err::DbSyntax, "Syntax error in query expression '" + std::string(text) + "' (" + std::string(why) + ").");
}

bool isWord(const Token& t, std::string_view w) { return t.kind == TokenKind::Word && equalsIgnoreCase(t.text, w); }
bool isWordIn(const Token& t, std::initializer_list<std::string_view> words) {
  if (t.kind != TokenKind::Word) return false;
  for (auto w : words)
    if (equalsIgnoreCase(t.text, w)) return true;
  return false;
}
bool isPunct(const Token& t, std::string_view p) { return t.kind == TokenKind::Punct && t.text == p; }

// Indexes of the tokens that are not blanks.
std::vector<size_t> significant(const std::vector<Token>& toks) {
  std::vector<size_t> sig;
  sig.reserve(toks.size());
  for (size_t i = 0; i < toks.size(); ++i)
    if (toks[i].kind != TokenKind::Space) sig.push_back(i);
  return sig;
}

std::string numberText(double v) {
  if (v == static_cast<double>(static_cast<long long>(v))) return std::to_string(static_cast<long long>(v));
  char buf[40];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
  return ec == std::errc() ? std::string(buf, p) : std::string("0");
}

// Keywords that end or join expressions; never taken for column names.
bool isExpressionKeyword(const Token& t) {
  return isWordIn(t, {"AND", "OR", "NOT",  "CASE", "WHEN",    "THEN",   "ELSE",    "END",  "EXISTS", "SELECT", "NULL",
                      "IS",  "IN", "LIKE", "GLOB", "BETWEEN", "ESCAPE", "COLLATE", "CAST", "WHERE",  "FROM",   "ON"});
}

// ---- name quoting, literals ------------------------------------------------

// Primary, Add and Action are names of this schema that SQLite reserves.
void quoteReservedNames(std::vector<Token>& toks) {
  const std::vector<size_t> sig = significant(toks);
  const bool alter = !sig.empty() && isWord(toks[sig[0]], "ALTER");
  bool alterAddSeen = false;
  for (size_t k = 0; k < sig.size(); ++k) {
    Token& t = toks[sig[k]];
    if (t.kind != TokenKind::Word) continue;
    const Token* prev = k > 0 ? &toks[sig[k - 1]] : nullptr;
    const Token* next = k + 1 < sig.size() ? &toks[sig[k + 1]] : nullptr;
    const bool qualified = (prev && isPunct(*prev, ".")) || (next && isPunct(*next, "."));
    if (equalsIgnoreCase(t.text, "True") || equalsIgnoreCase(t.text, "False")) {
      if (!qualified) t = Token{TokenKind::Number, equalsIgnoreCase(t.text, "True") ? "-1" : "0"};
      continue;
    }
    bool name = false;
    if (equalsIgnoreCase(t.text, "Primary")) {
      name = qualified || !(next && isWord(*next, "KEY"));
    } else if (equalsIgnoreCase(t.text, "Action")) {
      name = qualified || !(prev && isWord(*prev, "NO"));
    } else if (equalsIgnoreCase(t.text, "Add")) {
      // In "ALTER TABLE t ADD [COLUMN] ..." the first ADD after the table name is the keyword.
      const bool keyword = alter && !alterAddSeen && !qualified && prev && !isWord(*prev, "TABLE");
      if (keyword) alterAddSeen = true;
      name = !keyword;
    }
    if (name) t = Token{TokenKind::Quoted, quoteIdentifier(t.text)};
  }
}

void convertLiterals(std::vector<Token>& toks) {
  for (Token& t : toks) {
    switch (t.kind) {
      case TokenKind::Bracketed:
      case TokenKind::Backticked: t = Token{TokenKind::Quoted, quoteIdentifier(identifierName(t))}; break;
      case TokenKind::Date: {
        const std::string inside = t.text.substr(1, t.text.size() - 2);
        auto day = parseJetDate(inside);
        if (!day) syntaxError(t.text, "not a date");
        t = Token{TokenKind::Number, numberText(*day)};
        break;
      }
      default: break;
    }
  }
}

// ---- table definitions -----------------------------------------------------

void adaptColumnDefinition(std::vector<Token>& toks, size_t begin, size_t end,
                           std::vector<std::pair<size_t, std::vector<Token>>>& inserts) {
  std::vector<size_t> def;
  for (size_t i = begin; i < end; ++i)
    if (toks[i].kind != TokenKind::Space) def.push_back(i);
  if (def.empty()) return;
  const Token& first = toks[def[0]];
  if (isWordIn(first, {"CONSTRAINT", "UNIQUE", "CHECK", "FOREIGN"}) || (isWord(first, "PRIMARY"))) return;
  if (def.size() < 2 || toks[def[1]].kind != TokenKind::Word) return;
  Token& typeWord = toks[def[1]];
  if (isWordIn(typeWord, {"CONSTRAINT", "PRIMARY", "NOT", "NULL", "UNIQUE", "CHECK", "DEFAULT", "COLLATE", "REFERENCES",
                          "GENERATED", "AS"}))
    return;
  const std::string upper = paths::toUpperAscii(typeWord.text);
  const bool memo = upper == "MEMO";
  const bool text = memo || upper == "TEXT" || upper == "LONGTEXT" || upper == "CHAR" || upper == "VARCHAR" ||
                    upper == "LONGCHAR" || upper == "NOTE" || upper == "STRING";
  if (memo) typeWord.text = "LONGTEXT";
  if (!text) return;
  for (size_t k : def)
    if (isWord(toks[k], "COLLATE")) return;
  // After the type name and its size, if any.
  size_t after = def[1] + 1;
  size_t k = 2;
  if (k < def.size() && isPunct(toks[def[k]], "(")) {
    while (k < def.size() && !isPunct(toks[def[k]], ")")) ++k;
    if (k < def.size()) after = def[k] + 1;
  }
  inserts.push_back({after,
                     {Token{TokenKind::Space, " "}, Token{TokenKind::Word, "COLLATE"}, Token{TokenKind::Space, " "},
                      Token{TokenKind::Word, "NOCASE"}}});
}

void adaptTableDefinition(std::vector<Token>& toks) {
  const std::vector<size_t> sig = significant(toks);
  if (sig.size() < 3) return;
  std::vector<std::pair<size_t, std::vector<Token>>> inserts;
  if (isWord(toks[sig[0]], "CREATE")) {
    size_t k = 1;
    if (isWordIn(toks[sig[k]], {"TEMP", "TEMPORARY"})) ++k;
    if (k >= sig.size() || !isWord(toks[sig[k]], "TABLE")) return;
    while (k < sig.size() && !isPunct(toks[sig[k]], "(")) {
      if (isWord(toks[sig[k]], "AS")) return;  // CREATE TABLE ... AS SELECT
      ++k;
    }
    if (k >= sig.size()) return;
    int depth = 0;
    size_t defBegin = sig[k] + 1;
    for (size_t i = sig[k]; i < toks.size(); ++i) {
      const Token& t = toks[i];
      if (isPunct(t, "(")) {
        ++depth;
      } else if (isPunct(t, ")")) {
        if (--depth == 0) {
          adaptColumnDefinition(toks, defBegin, i, inserts);
          break;
        }
      } else if (isPunct(t, ",") && depth == 1) {
        adaptColumnDefinition(toks, defBegin, i, inserts);
        defBegin = i + 1;
      }
    }
  } else if (isWord(toks[sig[0]], "ALTER")) {
    for (size_t k = 1; k < sig.size(); ++k) {
      if (isWord(toks[sig[k]], "ADD")) {
        size_t begin = k + 1;
        if (begin < sig.size() && isWord(toks[sig[begin]], "COLUMN")) ++begin;
        if (begin < sig.size()) adaptColumnDefinition(toks, sig[begin], toks.size(), inserts);
        break;
      }
    }
  }
  for (auto it = inserts.rbegin(); it != inserts.rend(); ++it)
    toks.insert(toks.begin() + static_cast<std::ptrdiff_t>(it->first), it->second.begin(), it->second.end());
}

// ---- OR lists --------------------------------------------------------------

struct Term {
  size_t begin = 0, end = 0;        // in sig: the term's first and one-past-last
  size_t colBegin = 0, colEnd = 0;  // in sig: the column reference
  std::string key;                  // the column, lower case, for comparison
  std::string number;
};

bool matchTerm(const std::vector<Token>& toks, const std::vector<size_t>& sig, size_t p, Term& term) {
  size_t q = p;
  auto at = [&](size_t i) -> const Token* { return i < sig.size() ? &toks[sig[i]] : nullptr; };
  const bool paren = at(q) && isPunct(*at(q), "(");
  if (paren) ++q;
  term.colBegin = q;
  term.key.clear();
  while (true) {
    const Token* t = at(q);
    if (!t || !(t->kind == TokenKind::Word || t->kind == TokenKind::Quoted) || isExpressionKeyword(*t)) return false;
    term.key += paths::toLowerAscii(identifierName(*t));
    ++q;
    if (at(q) && isPunct(*at(q), ".")) {
      term.key += '.';
      ++q;
      continue;
    }
    break;
  }
  term.colEnd = q;
  if (!at(q) || !(isPunct(*at(q), "=") || isPunct(*at(q), "=="))) return false;
  ++q;
  term.number.clear();
  if (at(q) && (isPunct(*at(q), "-") || isPunct(*at(q), "+"))) {
    if (at(q)->text == "-") term.number = "-";
    ++q;
  }
  if (!at(q) || at(q)->kind != TokenKind::Number) return false;
  term.number += at(q)->text;
  ++q;
  if (paren) {
    if (!at(q) || !isPunct(*at(q), ")")) return false;
    ++q;
  }
  term.begin = p;
  term.end = q;
  return true;
}

bool boundaryBefore(const Token* t) {
  return !t || isPunct(*t, "(") || isPunct(*t, ",") ||
         isWordIn(*t, {"OR", "WHERE", "ON", "HAVING", "WHEN", "THEN", "ELSE"});
}
bool boundaryAfter(const Token* t) {
  return !t || isPunct(*t, ")") || isPunct(*t, ",") || isPunct(*t, ";") ||
         isWordIn(*t, {"OR", "ORDER", "GROUP", "HAVING", "LIMIT", "THEN", "ELSE", "END", "WHEN", "UNION", "EXCEPT",
                       "INTERSECT", "WINDOW"});
}

std::vector<Token> collapseOrLists(const std::vector<Token>& toks) {
  const std::vector<size_t> sig = significant(toks);
  std::vector<Token> out;
  out.reserve(toks.size());
  size_t copied = 0;  // toks before this index are in out
  size_t p = 0;
  while (p < sig.size()) {
    Term first;
    if (!matchTerm(toks, sig, p, first)) {
      ++p;
      continue;
    }
    std::vector<Term> run{first};
    while (true) {
      const size_t orAt = run.back().end;
      Term next;
      if (orAt < sig.size() && isWord(toks[sig[orAt]], "OR") && matchTerm(toks, sig, orAt + 1, next) &&
          next.key == first.key) {
        run.push_back(next);
      } else {
        break;
      }
    }
    size_t lo = 0, hi = run.size();
    // AND and NOT bind tighter than OR: a neighbouring term belongs to them.
    if (!boundaryBefore(p > 0 ? &toks[sig[p - 1]] : nullptr)) ++lo;
    if (!boundaryAfter(run.back().end < sig.size() ? &toks[sig[run.back().end]] : nullptr)) --hi;
    if (hi > lo + 1) {
      const Term& a = run[lo];
      const size_t startTok = sig[a.begin];
      out.insert(out.end(), toks.begin() + static_cast<std::ptrdiff_t>(copied),
                 toks.begin() + static_cast<std::ptrdiff_t>(startTok));
      for (size_t i = sig[a.colBegin]; i <= sig[a.colEnd - 1]; ++i) out.push_back(toks[i]);
      out.push_back(Token{TokenKind::Space, " "});
      out.push_back(Token{TokenKind::Word, "IN"});
      out.push_back(Token{TokenKind::Space, " "});
      out.push_back(Token{TokenKind::Punct, "("});
      for (size_t i = lo; i < hi; ++i) {
        if (i > lo) {
          out.push_back(Token{TokenKind::Punct, ","});
          out.push_back(Token{TokenKind::Space, " "});
        }
        out.push_back(Token{TokenKind::Number, run[i].number});
      }
      out.push_back(Token{TokenKind::Punct, ")"});
      copied = sig[run[hi - 1].end - 1] + 1;
      p = run[hi - 1].end;
    } else {
      p = run.size() > 1 ? run.back().begin : p + 1;
    }
  }
  out.insert(out.end(), toks.begin() + static_cast<std::ptrdiff_t>(copied), toks.end());
  return out;
}

std::vector<Token> adaptOne(std::vector<Token> toks, bool statement) {
  convertLiterals(toks);
  quoteReservedNames(toks);
  if (statement) adaptTableDefinition(toks);
  return collapseOrLists(toks);
}

// ---- FROM clause -----------------------------------------------------------

bool isClauseKeyword(const Token& t) {
  return isWordIn(t, {"WHERE",     "GROUP",   "HAVING", "ORDER",   "LIMIT", "WINDOW",   "UNION", "EXCEPT",
                      "INTERSECT", "ON",      "USING",  "JOIN",    "INNER", "LEFT",     "RIGHT", "FULL",
                      "CROSS",     "NATURAL", "OUTER",  "INDEXED", "NOT",   "RETURNING"}) ||
         isPunct(t, ";");
}

class FromParser {
 public:
  FromParser(const std::vector<Token>& toks, std::vector<size_t> sig) : toks_(toks), sig_(std::move(sig)) {}

  // Parses the whole range; false when it holds something other than tables and joins.
  bool parse(std::vector<TableRef>& tables) {
    if (!join(tables)) return false;
    return p_ == sig_.size();
  }

 private:
  const Token* at(size_t i) const { return i < sig_.size() ? &toks_[sig_[i]] : nullptr; }
  const Token* cur() const { return at(p_); }

  bool join(std::vector<TableRef>& tables) {
    if (!source(tables)) return false;
    while (cur()) {
      if (isPunct(*cur(), ",")) {
        ++p_;
      } else if (isWordIn(*cur(), {"NATURAL", "LEFT", "RIGHT", "FULL", "INNER", "CROSS", "OUTER", "JOIN"})) {
        while (cur() && !isWord(*cur(), "JOIN")) {
          if (!isWordIn(*cur(), {"NATURAL", "LEFT", "RIGHT", "FULL", "INNER", "CROSS", "OUTER"})) return false;
          ++p_;
        }
        if (!cur()) return false;
        ++p_;
      } else {
        return true;
      }
      if (!source(tables)) return false;
      if (cur() && isWord(*cur(), "ON")) {
        ++p_;
        skipExpression();
      } else if (cur() && isWord(*cur(), "USING")) {
        ++p_;
        if (!skipParens()) return false;
      }
    }
    return true;
  }

  bool source(std::vector<TableRef>& tables) {
    if (!cur()) return false;
    if (isPunct(*cur(), "(")) {
      if (at(p_ + 1) && isWordIn(*at(p_ + 1), {"SELECT", "WITH", "VALUES"})) return false;  // a subquery
      ++p_;
      if (!join(tables)) return false;
      if (!cur() || !isPunct(*cur(), ")")) return false;
      ++p_;
      return true;
    }
    if (!isIdentifier(*cur())) return false;
    TableRef ref;
    ref.table = identifierName(*cur());
    ++p_;
    if (cur() && isPunct(*cur(), ".")) {  // schema.table
      ++p_;
      if (!cur() || !isIdentifier(*cur())) return false;
      ref.table = identifierName(*cur());
      ++p_;
    }
    if (cur() && isPunct(*cur(), "(")) return false;  // a table-valued function
    if (cur() && isWord(*cur(), "AS")) {
      ++p_;
      if (!cur() || !isIdentifier(*cur())) return false;
      ref.alias = identifierName(*cur());
      ++p_;
    } else if (cur() && isIdentifier(*cur()) && !isClauseKeyword(*cur())) {
      ref.alias = identifierName(*cur());
      ++p_;
    }
    if (cur() && isWord(*cur(), "INDEXED")) {
      p_ += 3;  // INDEXED BY name
    } else if (cur() && isWord(*cur(), "NOT") && at(p_ + 1) && isWord(*at(p_ + 1), "INDEXED")) {
      p_ += 2;
    }
    tables.push_back(std::move(ref));
    return true;
  }

  void skipExpression() {
    int depth = 0;
    while (cur()) {
      const Token& t = *cur();
      if (isPunct(t, "(")) {
        ++depth;
      } else if (isPunct(t, ")")) {
        if (depth == 0) return;
        --depth;
      } else if (depth == 0 &&
                 (isPunct(t, ",") || isWordIn(t, {"JOIN", "INNER", "LEFT", "RIGHT", "FULL", "CROSS", "NATURAL"}))) {
        return;
      }
      ++p_;
    }
  }

  bool skipParens() {
    if (!cur() || !isPunct(*cur(), "(")) return false;
    int depth = 0;
    while (cur()) {
      if (isPunct(*cur(), "(")) ++depth;
      if (isPunct(*cur(), ")") && --depth == 0) {
        ++p_;
        return true;
      }
      ++p_;
    }
    return false;
  }

  const std::vector<Token>& toks_;
  std::vector<size_t> sig_;
  size_t p_ = 0;
};

}  // namespace

// ---- tokens ------------------------------------------------------------------

std::vector<Token> tokenize(std::string_view s) {
  std::vector<Token> toks;
  size_t i = 0;
  auto push = [&](TokenKind k, size_t from, size_t to) {
    toks.push_back(Token{k, std::string(s.substr(from, to - from))});
  };
  while (i < s.size()) {
    const char c = s[i];
    const size_t start = i;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
      while (i < s.size() &&
             (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n' || s[i] == '\f' || s[i] == '\v'))
        ++i;
      push(TokenKind::Space, start, i);
    } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
      push(TokenKind::Space, start, i);
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      const size_t e = s.find("*/", i + 2);
      i = e == std::string_view::npos ? s.size() : e + 2;
      push(TokenKind::Space, start, i);
    } else if (c == '\'' || c == '"' || c == '`') {
      ++i;
      while (true) {
        if (i >= s.size()) syntaxError(s, "unterminated literal");
        if (s[i] == c) {
          if (i + 1 < s.size() && s[i + 1] == c) {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      push(c == '\'' ? TokenKind::String : c == '"' ? TokenKind::Quoted : TokenKind::Backticked, start, i);
    } else if (c == '[') {
      const size_t e = s.find(']', i);
      if (e == std::string_view::npos) syntaxError(s, "unterminated name");
      i = e + 1;
      push(TokenKind::Bracketed, start, i);
    } else if (c == '#') {
      const size_t e = s.find('#', i + 1);
      if (e == std::string_view::npos) syntaxError(s, "unterminated date");
      i = e + 1;
      push(TokenKind::Date, start, i);
    } else if (isDigit(c) || (c == '.' && i + 1 < s.size() && isDigit(s[i + 1]))) {
      if (c == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        i += 2;
        while (i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i]))) ++i;
      } else {
        while (i < s.size() && isDigit(s[i])) ++i;
        if (i < s.size() && s[i] == '.') {
          ++i;
          while (i < s.size() && isDigit(s[i])) ++i;
        }
        if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
          size_t j = i + 1;
          if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
          if (j < s.size() && isDigit(s[j])) {
            i = j;
            while (i < s.size() && isDigit(s[i])) ++i;
          }
        }
      }
      push(TokenKind::Number, start, i);
    } else if (isWordStart(static_cast<unsigned char>(c))) {
      while (i < s.size() && isWordChar(static_cast<unsigned char>(s[i]))) ++i;
      push(TokenKind::Word, start, i);
    } else if (c == '?') {
      ++i;
      while (i < s.size() && isDigit(s[i])) ++i;
      push(TokenKind::Param, start, i);
    } else if ((c == ':' || c == '@' || c == '$') && i + 1 < s.size() &&
               isWordChar(static_cast<unsigned char>(s[i + 1]))) {
      ++i;
      while (i < s.size() && isWordChar(static_cast<unsigned char>(s[i]))) ++i;
      push(TokenKind::Param, start, i);
    } else {
      static const char* const two[] = {"<>", "<=", ">=", "==", "!=", "||", "<<", ">>", "->"};
      size_t len = 1;
      for (const char* t : two)
        if (s.substr(i, 2) == t) len = 2;
      if (len == 2 && s.substr(i, 3) == "->>") len = 3;
      i += len;
      push(TokenKind::Punct, start, i);
    }
  }
  return toks;
}

std::string render(const std::vector<Token>& tokens) {
  size_t n = 0;
  for (const Token& t : tokens) n += t.text.size();
  std::string s;
  s.reserve(n);
  for (const Token& t : tokens) s += t.text;
  return s;
}

std::string quoteIdentifier(std::string_view name) {
  std::string q = "\"";
  for (char c : name) {
    if (c == '"') q += '"';
    q += c;
  }
  q += '"';
  return q;
}

bool isIdentifier(const Token& t) {
  return t.kind == TokenKind::Word || t.kind == TokenKind::Quoted || t.kind == TokenKind::Bracketed ||
         t.kind == TokenKind::Backticked;
}

std::string identifierName(const Token& t) {
  switch (t.kind) {
    case TokenKind::Quoted:
    case TokenKind::Backticked: {
      const char q = t.text[0];
      std::string name;
      for (size_t i = 1; i + 1 < t.text.size(); ++i) {
        name += t.text[i];
        if (t.text[i] == q && i + 2 < t.text.size() && t.text[i + 1] == q) ++i;
      }
      return name;
    }
    case TokenKind::Bracketed: return t.text.substr(1, t.text.size() - 2);
    default: return t.text;
  }
}

std::optional<double> parseJetDate(std::string_view inside) {
  // Jet reads a/b/c as month/day/year; four leading digits mean year-month-day.
  const std::string_view s = platform::text::trimSpaces(inside);
  if (s.empty()) return std::nullopt;
  std::string_view date = s, time;
  const size_t sp = s.find(' ');
  if (sp != std::string_view::npos) {
    date = s.substr(0, sp);
    time = s.substr(sp + 1);
  }
  if (date.find(':') != std::string_view::npos) {
    time = s;
    date = {};
  }
  int y = 1899, m = 12, d = 30;
  if (!date.empty()) {
    int n[3];
    size_t len[3];
    size_t i = 0;
    char sep = 0;
    for (int k = 0; k < 3; ++k) {
      size_t j = i;
      while (j < date.size() && isDigit(date[j])) ++j;
      if (j == i) return std::nullopt;
      std::from_chars(date.data() + i, date.data() + j, n[k]);
      len[k] = j - i;
      if (k < 2) {
        if (j >= date.size() || (date[j] != '/' && date[j] != '-') || (sep && date[j] != sep)) return std::nullopt;
        sep = date[j];
        i = j + 1;
      } else if (j != date.size()) {
        return std::nullopt;
      }
    }
    if (len[0] == 4) {
      y = n[0], m = n[1], d = n[2];
    } else {
      m = n[0], d = n[1], y = n[2];
      if (len[2] <= 2) y += y < 30 ? 2000 : 1900;
    }
    if (m < 1 || m > 12 || d < 1 || d > 31) return std::nullopt;
    if (Variant::splitOleDate(Variant::oleDate(y, m, d)).month != m) return std::nullopt;  // 31 April
  }
  double day = Variant::oleDate(y, m, d);
  if (!time.empty()) {
    // The time goes through the Variant's own reader, which knows AM and PM.
    Variant t{std::string(time)};
    double frac;
    try {
      frac = t.toDate();
    } catch (const AppError&) {
      return std::nullopt;
    }
    if (frac < 0 || frac >= 1) return std::nullopt;
    day = day >= 0 ? day + frac : day - frac;
  }
  return day;
}

// ---- adaptation ------------------------------------------------------------

std::vector<Token> adaptTokens(std::string_view jet, bool statement) {
  std::vector<Token> toks = tokenize(jet);
  if (!statement) return adaptOne(std::move(toks), false);
  // Statement by statement, so that each table definition is seen on its own.
  std::vector<Token> out;
  std::vector<Token> one;
  int depth = 0;
  for (Token& t : toks) {
    if (isPunct(t, "(")) ++depth;
    if (isPunct(t, ")")) --depth;
    const bool end = depth <= 0 && isPunct(t, ";");
    one.push_back(std::move(t));
    if (end) {
      auto done = adaptOne(std::move(one), true);
      out.insert(out.end(), std::make_move_iterator(done.begin()), std::make_move_iterator(done.end()));
      one.clear();
    }
  }
  if (!one.empty()) {
    auto done = adaptOne(std::move(one), true);
    out.insert(out.end(), std::make_move_iterator(done.begin()), std::make_move_iterator(done.end()));
  }
  return out;
}

std::string adaptStatement(std::string_view jet) { return render(adaptTokens(jet, true)); }
std::string adaptExpression(std::string_view jet) { return render(adaptTokens(jet, false)); }

std::optional<std::string> tableNameSource(std::string_view source) {
  const std::vector<Token> toks = tokenize(source);
  const std::vector<size_t> sig = significant(toks);
  if (sig.size() != 1 || !isIdentifier(toks[sig[0]])) return std::nullopt;
  const Token& t = toks[sig[0]];
  if (t.kind == TokenKind::Word && isWordIn(t, {"SELECT", "PRAGMA", "VALUES", "WITH"})) return std::nullopt;
  return identifierName(t);
}

SelectShape analyzeSelect(const std::vector<Token>& toks) {
  SelectShape shape;
  const std::vector<size_t> sig = significant(toks);
  if (sig.empty() || !isWord(toks[sig[0]], "SELECT")) return shape;
  shape.select = true;
  bool plain = true;
  if (sig.size() > 1 && isWord(toks[sig[1]], "DISTINCT")) plain = false;
  size_t from = 0, where = 0, tail = 0, end = sig.size();
  int depth = 0;
  for (size_t k = 1; k < sig.size(); ++k) {
    const Token& t = toks[sig[k]];
    if (isPunct(t, "(")) {
      ++depth;
      continue;
    }
    if (isPunct(t, ")")) {
      --depth;
      continue;
    }
    if (!from && isWordIn(t, {"COUNT", "SUM", "MIN", "MAX", "AVG", "TOTAL", "GROUP_CONCAT"}) && k + 1 < sig.size() &&
        isPunct(toks[sig[k + 1]], "("))
      plain = false;
    if (depth != 0) continue;
    if (isPunct(t, ";")) {
      end = k;
      break;
    }
    if (!from && isWord(t, "FROM")) {
      from = k;
    } else if (from && !where && !tail && isWord(t, "WHERE")) {
      where = k;
    } else if (from && !tail && isWordIn(t, {"GROUP", "HAVING", "ORDER", "LIMIT", "WINDOW"})) {
      tail = k;
      if (isWordIn(t, {"GROUP", "HAVING", "WINDOW"})) plain = false;
    }
    if (isWordIn(t, {"UNION", "EXCEPT", "INTERSECT"})) plain = false;
  }
  if (!from) return shape;
  if (!tail) tail = end;
  shape.fromToken = sig[from];
  if (where) shape.whereToken = sig[where];
  shape.tailToken = tail < sig.size() ? sig[tail] : toks.size();
  if (end < sig.size() && tail == end) shape.tailToken = sig[end];
  if (!plain) return shape;
  std::vector<size_t> fromSig(sig.begin() + static_cast<std::ptrdiff_t>(from + 1),
                              sig.begin() + static_cast<std::ptrdiff_t>(where ? where : tail));
  FromParser parser(toks, std::move(fromSig));
  if (parser.parse(shape.tables)) shape.rowBased = !shape.tables.empty();
  if (!shape.rowBased) shape.tables.clear();
  return shape;
}

std::string withExtraColumns(const std::vector<Token>& toks, const SelectShape& shape,
                             const std::vector<std::string>& columns) {
  std::string s;
  for (size_t i = 0; i < shape.fromToken; ++i) s += toks[i].text;
  while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
  for (const std::string& c : columns) s += ", " + c;
  s += ' ';
  for (size_t i = shape.fromToken; i < toks.size(); ++i) s += toks[i].text;
  return s;
}

std::string withCondition(const std::vector<Token>& toks, const SelectShape& shape, std::string_view condition) {
  auto range = [&](size_t a, size_t b) {
    std::string s;
    for (size_t i = a; i < b && i < toks.size(); ++i) s += toks[i].text;
    return s;
  };
  if (!shape.rowBased) {
    std::string inner = range(0, toks.size());
    while (!inner.empty() && (inner.back() == ';' || inner.back() == ' ')) inner.pop_back();
    return "SELECT * FROM (" + inner + ") WHERE (" + std::string(condition) + ")";
  }
  std::string s;
  if (shape.whereToken != std::string::npos) {
    s = range(0, shape.whereToken + 1);
    s += " (" + range(shape.whereToken + 1, shape.tailToken) + ") AND (" + std::string(condition) + ") ";
  } else {
    s = range(0, shape.tailToken);
    s += " WHERE (" + std::string(condition) + ") ";
  }
  s += range(shape.tailToken, toks.size());
  return s;
}

}  // namespace pellary::dao::sql
