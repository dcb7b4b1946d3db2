// Splits a T-SQL batch into tokens: words, quoted identifiers, string and
// number literals, variables and operators. Comments are dropped.
#pragma once

#include <string>
#include <vector>

namespace standin {

struct Token {
  enum class Kind { Word, QuotedId, String, NString, Number, Variable, Symbol, End } kind;
  int line = 1;
  std::string text;  // identifier or literal content without quotes; the symbol itself

  bool Is(const char* word) const;  // a Word equal to `word`, case-insensitive
  bool IsSymbol(const char* symbol) const { return kind == Kind::Symbol && text == symbol; }
};

// Tokenizes the whole batch. An unterminated string or quoted identifier
// sets `error` to the text a server reports near it ("Unclosed quotation
// mark ..."), and the tokens up to it are returned.
std::vector<Token> Tokenize(const std::string& batch, std::string& error);

}  // namespace standin
