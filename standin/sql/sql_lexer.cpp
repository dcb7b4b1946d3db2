// The T-SQL tokenizer; see sql_lexer.h.
#include "sql/sql_lexer.h"

#include <strings.h>

#include <cctype>

namespace standin {
namespace {

bool IsWordStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80;
}
bool IsWordChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '#' || c == '$' || c == '@' || c >= 0x80;
}

}  // namespace

bool Token::Is(const char* word) const {
  return kind == Kind::Word && strcasecmp(text.c_str(), word) == 0;
}

std::vector<Token> Tokenize(const std::string& s, std::string& error) {
  std::vector<Token> tokens;
  // Most batches are short; a long one should not be copied at every growth.
  tokens.reserve(s.size() / 6 + 1);
  size_t i = 0;
  int line = 1;
  auto push = [&](Token::Kind kind, std::string text) {
    tokens.push_back(Token{kind, line, std::move(text)});
  };
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '\n') {
      ++line;
      ++i;
      continue;
    }
    if (std::isspace(c)) {
      ++i;
      continue;
    }
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      // Block comments nest in T-SQL.
      int depth = 0;
      do {
        if (s.compare(i, 2, "/*") == 0) {
          ++depth;
          i += 2;
        } else if (s.compare(i, 2, "*/") == 0) {
          --depth;
          i += 2;
        } else {
          if (s[i] == '\n') ++line;
          ++i;
        }
      } while (depth > 0 && i < s.size());
      if (depth > 0) {
        error = "Missing end comment mark '*/'.";
        break;
      }
      continue;
    }
    size_t start = i;
    bool national = (c == 'N' || c == 'n') && i + 1 < s.size() && s[i + 1] == '\'';
    if (c == '\'' || national) {
      if (national) ++i;
      std::string text;
      ++i;
      bool closed = false;
      while (i < s.size()) {
        if (s[i] == '\'') {
          if (i + 1 < s.size() && s[i + 1] == '\'') {
            text += '\'';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        if (s[i] == '\n') ++line;
        text += s[i++];
      }
      if (!closed) {
        error = "Unclosed quotation mark after the character string '" + text + "'.";
        break;
      }
      push(national ? Token::Kind::NString : Token::Kind::String, text);
      continue;
    }
    if (c == '[' || c == '"') {
      char close = c == '[' ? ']' : '"';
      std::string text;
      ++i;
      bool closed = false;
      while (i < s.size()) {
        if (s[i] == close) {
          if (i + 1 < s.size() && s[i + 1] == close) {
            text += close;
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        text += s[i++];
      }
      if (!closed) {
        error = "Unclosed quotation mark after the character string '" + text + "'.";
        break;
      }
      push(Token::Kind::QuotedId, text);
      continue;
    }
    if (std::isdigit(c) ||
        (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.')) ++i;
      if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      }
      push(Token::Kind::Number, s.substr(start, i - start));
      continue;
    }
    if (c == '@') {
      ++i;
      while (i < s.size() && IsWordChar(static_cast<unsigned char>(s[i]))) ++i;
      push(Token::Kind::Variable, s.substr(start, i - start));
      continue;
    }
    if (IsWordStart(c)) {
      while (i < s.size() && IsWordChar(static_cast<unsigned char>(s[i]))) ++i;
      push(Token::Kind::Word, s.substr(start, i - start));
      continue;
    }
    static const char* const kTwoChar[] = {"<>", "!=", "<=", ">=", "!<", "!>"};
    bool two = false;
    for (const char* op : kTwoChar) {
      if (s.compare(i, 2, op) == 0) {
        push(Token::Kind::Symbol, op);
        i += 2;
        two = true;
        break;
      }
    }
    if (two) continue;
    push(Token::Kind::Symbol, std::string(1, static_cast<char>(c)));
    ++i;
  }
  tokens.push_back(Token{Token::Kind::End, line, ""});
  return tokens;
}

}  // namespace standin
