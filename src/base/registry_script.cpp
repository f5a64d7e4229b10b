#include "base/registry_script.h"

#include <cerrno>
#include <cwchar>

#include "base/text.h"

namespace quillan {

namespace {

enum class TokenKind { End, Word, Quoted, OpenBrace, CloseBrace, Equals };

struct Token {
  TokenKind kind = TokenKind::End;
  std::wstring text;  // replacements done
};

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == 0xFEFF; }

bool IsWordChar(wchar_t c) { return !IsSpace(c) && c != L'{' && c != L'}' && c != L'=' && c != L'\'' && c != 0; }

// Splits the script into tokens and carries out the replacements inside names and data.
class Tokenizer {
 public:
  Tokenizer(const std::wstring& text, const RegistryScript::Replacements& replacements)
      : text_(text), replacements_(replacements) {}

  bool Next(Token* token) {
    if (!peeked_.empty()) {
      *token = peeked_.back();
      peeked_.pop_back();
      return true;
    }
    return Read(token);
  }

  bool Peek(Token* token) {
    if (peeked_.empty()) {
      Token read;
      if (!Read(&read)) return false;
      peeked_.push_back(read);
    }
    *token = peeked_.back();
    return true;
  }

  const std::wstring& error() const { return error_; }

  bool Fail(const std::wstring& message) {
    if (error_.empty()) error_ = message + L" (at character " + std::to_wstring(position_) + L")";
    return false;
  }

 private:
  bool Read(Token* token) {
    while (position_ < text_.size() && IsSpace(text_[position_])) ++position_;
    *token = Token();
    if (position_ >= text_.size()) return true;
    wchar_t c = text_[position_];
    switch (c) {
      case L'{':
        ++position_;
        token->kind = TokenKind::OpenBrace;
        return true;
      case L'}':
        ++position_;
        token->kind = TokenKind::CloseBrace;
        return true;
      case L'=':
        ++position_;
        token->kind = TokenKind::Equals;
        return true;
      case L'\'':
        ++position_;
        token->kind = TokenKind::Quoted;
        return ReadQuoted(&token->text);
      default:
        if (c == 0) return Fail(L"zero character");
        token->kind = TokenKind::Word;
        return ReadWord(&token->text);
    }
  }

  bool ReadQuoted(std::wstring* out) {
    for (;;) {
      if (position_ >= text_.size()) return Fail(L"unterminated quoted text");
      wchar_t c = text_[position_++];
      if (c == L'\'') {
        if (position_ < text_.size() && text_[position_] == L'\'') {
          ++position_;
          out->push_back(L'\'');
          continue;
        }
        return true;
      }
      if (c == L'%') {
        if (!ReadReplacement(out)) return false;
        continue;
      }
      out->push_back(c);
    }
  }

  bool ReadWord(std::wstring* out) {
    while (position_ < text_.size() && IsWordChar(text_[position_])) {
      wchar_t c = text_[position_++];
      if (c == L'%') {
        if (!ReadReplacement(out)) return false;
        continue;
      }
      out->push_back(c);
    }
    return true;
  }

  // After a '%': "%%" is one percent sign, "%NAME%" the replacement for NAME.
  bool ReadReplacement(std::wstring* out) {
    size_t close = text_.find(L'%', position_);
    if (close == std::wstring::npos) return Fail(L"unterminated replacement");
    std::wstring name = text_.substr(position_, close - position_);
    position_ = close + 1;
    if (name.empty()) {
      out->push_back(L'%');
      return true;
    }
    for (const auto& replacement : replacements_) {
      if (EqualsNoCaseAZ(replacement.first, name)) {
        out->append(replacement.second);
        return true;
      }
    }
    return Fail(L"unknown replacement %" + name + L"%");
  }

  const std::wstring& text_;
  const RegistryScript::Replacements& replacements_;
  size_t position_ = 0;
  std::vector<Token> peeked_;
  std::wstring error_;
};

bool IsKeyword(const Token& token, const wchar_t* keyword) {
  return token.kind == TokenKind::Word && EqualsNoCaseAZ(token.text, keyword);
}

bool RootFromName(const std::wstring& name, HKEY* root) {
  struct Named {
    const wchar_t* shortName;
    const wchar_t* longName;
    HKEY key;
  };
  static const Named roots[] = {
      {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
      {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
      {L"HKU", L"HKEY_USERS", HKEY_USERS},
  };
  for (const Named& named : roots) {
    if (EqualsNoCaseAZ(name, named.shortName) || EqualsNoCaseAZ(name, named.longName)) {
      *root = named.key;
      return true;
    }
  }
  return false;
}

class Parser {
 public:
  explicit Parser(Tokenizer& tokens) : tokens_(tokens) {}

  bool ParseScript(std::vector<RegistryScriptRoot>* roots) {
    for (;;) {
      Token token;
      if (!tokens_.Next(&token)) return false;
      if (token.kind == TokenKind::End) return true;
      RegistryScriptRoot root;
      if (token.kind != TokenKind::Word || !RootFromName(token.text, &root.root)) {
        return tokens_.Fail(L"expected a root key, found \"" + token.text + L"\"");
      }
      if (!Expect(TokenKind::OpenBrace, L"'{' after the root key")) return false;
      if (!ParseBody(nullptr, &root.keys)) return false;
      roots->push_back(std::move(root));
    }
  }

 private:
  // The inside of braces up to the closing one: keys, and (inside a key only) named values.
  bool ParseBody(RegistryScriptKey* owner, std::vector<RegistryScriptKey>* keys) {
    for (;;) {
      Token token;
      if (!tokens_.Next(&token)) return false;
      if (token.kind == TokenKind::CloseBrace) return true;
      if (token.kind == TokenKind::End) return tokens_.Fail(L"missing '}'");
      if (IsKeyword(token, L"val")) {
        if (!owner) return tokens_.Fail(L"a named value directly under a root key");
        RegistryScriptValue value;
        if (!ParseName(&value.name, L"the value's name")) return false;
        if (value.name.empty()) return tokens_.Fail(L"empty value name");
        if (!Expect(TokenKind::Equals, L"'=' after the value's name")) return false;
        if (!ParseValue(&value)) return false;
        owner->values.push_back(std::move(value));
        continue;
      }
      RegistryScriptKey key;
      if (IsKeyword(token, L"ForceRemove")) {
        key.removal = RegistryScriptKey::Removal::ForceRemove;
      } else if (IsKeyword(token, L"NoRemove")) {
        key.removal = RegistryScriptKey::Removal::NoRemove;
      }
      if (key.removal != RegistryScriptKey::Removal::Normal) {
        if (!ParseName(&key.name, L"a key name after the flag")) return false;
      } else if (token.kind == TokenKind::Word || token.kind == TokenKind::Quoted) {
        key.name = token.text;
      } else {
        return tokens_.Fail(L"expected a key name");
      }
      if (key.name.empty() || key.name.find(L'\\') != std::wstring::npos) {
        return tokens_.Fail(L"bad key name \"" + key.name + L"\"");
      }
      if (!ParseKeyRest(&key)) return false;
      keys->push_back(std::move(key));
    }
  }

  // After a key's name: an optional "= value", then an optional braced body.
  bool ParseKeyRest(RegistryScriptKey* key) {
    Token token;
    if (!tokens_.Peek(&token)) return false;
    if (token.kind == TokenKind::Equals) {
      tokens_.Next(&token);
      key->hasDefault = true;
      if (!ParseValue(&key->defaultValue)) return false;
      if (!tokens_.Peek(&token)) return false;
    }
    if (token.kind == TokenKind::OpenBrace) {
      tokens_.Next(&token);
      return ParseBody(key, &key->subkeys);
    }
    return true;
  }

  // "s text" or "d number".
  bool ParseValue(RegistryScriptValue* value) {
    Token type;
    if (!tokens_.Next(&type)) return false;
    Token data;
    if (!tokens_.Next(&data)) return false;
    if (data.kind != TokenKind::Word && data.kind != TokenKind::Quoted) {
      return tokens_.Fail(L"expected the value's data");
    }
    if (IsKeyword(type, L"s")) {
      value->type = REG_SZ;
      value->text = data.text;
      return true;
    }
    if (IsKeyword(type, L"d")) {
      value->type = REG_DWORD;
      return ParseNumber(data.text, &value->number);
    }
    return tokens_.Fail(L"unknown value type \"" + type.text + L"\"");
  }

  bool ParseNumber(const std::wstring& text, DWORD* number) {
    if (text.empty()) return tokens_.Fail(L"empty number");
    const wchar_t* begin = text.c_str();
    wchar_t* end = nullptr;
    errno = 0;
    unsigned long long parsed = std::wcstoull(begin, &end, 0);
    if (*end != 0 || errno != 0 || parsed > 0xFFFFFFFFull || text[0] == L'-') {
      return tokens_.Fail(L"bad number \"" + text + L"\"");
    }
    *number = static_cast<DWORD>(parsed);
    return true;
  }

  bool ParseName(std::wstring* name, const wchar_t* what) {
    Token token;
    if (!tokens_.Next(&token)) return false;
    if (token.kind != TokenKind::Word && token.kind != TokenKind::Quoted) {
      return tokens_.Fail(std::wstring(L"expected ") + what);
    }
    *name = token.text;
    return true;
  }

  bool Expect(TokenKind kind, const wchar_t* what) {
    Token token;
    if (!tokens_.Next(&token)) return false;
    if (token.kind != kind) return tokens_.Fail(std::wstring(L"expected ") + what);
    return true;
  }

  Tokenizer& tokens_;
};

}  // namespace

bool RegistryScript::Parse(const std::wstring& text, const Replacements& replacements,
                           std::vector<RegistryScriptRoot>* roots, std::wstring* error) {
  roots->clear();
  Tokenizer tokens(text, replacements);
  Parser parser(tokens);
  if (parser.ParseScript(roots)) return true;
  roots->clear();
  if (error) *error = tokens.error().empty() ? std::wstring(L"bad script") : tokens.error();
  return false;
}

}  // namespace quillan
