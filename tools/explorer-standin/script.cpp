#include "script.h"

#include <cwchar>

#include "base/handle.h"
#include "base/text.h"

namespace quillan::standin {

namespace {

const wchar_t* const kVerbs[] = {
    L"navigate", L"select", L"input",  L"resize", L"rebuild", L"wait",       L"waitfor", L"picture", L"dump",
    L"menu",     L"invoke", L"fire",   L"band",   L"close",   L"quit",       L"exit",    L"echo",    L"new-window",
    L"window",   L"focus",  L"menu-picture",
};

struct Word {
  std::wstring text;
  bool startsQuoted = false;
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r'; }

// Builds a step from the words of one statement; an empty statement gives no step.
bool MakeStep(const std::vector<Word>& words, int line, std::vector<Step>* steps, std::wstring* error) {
  if (words.empty()) return true;
  Step step;
  step.line = line;
  step.verb = LowerAZ(words[0].text);
  if (!IsKnownVerb(step.verb)) {
    *error = L"line " + std::to_wstring(line) + L": unknown step \"" + words[0].text + L"\"";
    return false;
  }
  bool optionsEnded = false;
  for (size_t i = 1; i < words.size(); ++i) {
    const Word& word = words[i];
    if (!optionsEnded && !word.startsQuoted && word.text.size() >= 2 && word.text.compare(0, 2, L"--") == 0) {
      if (word.text.size() == 2) {
        optionsEnded = true;
        continue;
      }
      size_t equals = word.text.find(L'=');
      std::wstring name = LowerAZ(word.text.substr(2, equals == std::wstring::npos ? std::wstring::npos : equals - 2));
      step.options[name] = equals == std::wstring::npos ? std::wstring() : word.text.substr(equals + 1);
      continue;
    }
    step.args.push_back(word.text);
  }
  steps->push_back(std::move(step));
  return true;
}

}  // namespace

std::wstring Step::Option(const std::wstring& name, const std::wstring& fallback) const {
  auto it = options.find(name);
  return it == options.end() ? fallback : it->second;
}

bool Step::IntOption(const std::wstring& name, long long fallback, long long* value) const {
  auto it = options.find(name);
  if (it == options.end()) {
    *value = fallback;
    return true;
  }
  return ParseNumber(it->second, value);
}

std::wstring Step::Text() const {
  std::wstring text = verb;
  for (const auto& option : options) text += L" --" + option.first + (option.second.empty() ? L"" : L"=" + option.second);
  for (const auto& arg : args) text += arg.find_first_of(L" \t;#") == std::wstring::npos && !arg.empty() ? L" " + arg : L" \"" + arg + L"\"";
  return text;
}

bool IsKnownVerb(const std::wstring& verb) {
  for (const wchar_t* known : kVerbs) {
    if (verb == known) return true;
  }
  return false;
}

bool ParseScript(const std::wstring& text, std::vector<Step>* steps, std::wstring* error) {
  std::vector<Word> words;
  Word word;
  bool inWord = false;
  bool inQuotes = false;
  int line = 1;
  int statementLine = 1;
  auto endWord = [&] {
    if (inWord) words.push_back(word);
    word = Word();
    inWord = false;
  };
  auto endStatement = [&]() -> bool {
    endWord();
    bool ok = MakeStep(words, statementLine, steps, error);
    words.clear();
    return ok;
  };
  for (size_t i = 0; i <= text.size(); ++i) {
    wchar_t c = i < text.size() ? text[i] : L'\n';
    if (inQuotes) {
      if (c == L'"') {
        if (i + 1 < text.size() && text[i + 1] == L'"') {
          word.text.push_back(L'"');
          ++i;
        } else {
          inQuotes = false;
        }
      } else if (c == L'\n' && i == text.size()) {
        *error = L"line " + std::to_wstring(line) + L": quote not closed";
        return false;
      } else {
        if (c == L'\n') ++line;
        word.text.push_back(c);
      }
      continue;
    }
    if (c == L'\n' || c == L';') {
      if (!endStatement()) return false;
      if (c == L'\n') ++line;
      statementLine = line;
      continue;
    }
    if (IsBlank(c)) {
      endWord();
      continue;
    }
    if (c == L'#' && !inWord) {
      while (i < text.size() && text[i] != L'\n') ++i;
      --i;  // the newline ends the statement on the next turn
      continue;
    }
    if (!inWord) {
      if (words.empty()) statementLine = line;
      inWord = true;
      word.startsQuoted = (c == L'"');
    }
    if (c == L'"') {
      inQuotes = true;
    } else {
      word.text.push_back(c);
    }
  }
  return true;
}

bool ReadScriptFile(const std::wstring& path, std::wstring* text) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  std::string bytes;
  char buffer[16384];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    text->assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / sizeof(wchar_t));
    return true;
  }
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  *text = Utf8ToWide(bytes);
  return bytes.empty() || !text->empty();
}

bool ParseNumber(const std::wstring& text, long long* value) {
  if (text.empty()) return false;
  const wchar_t* begin = text.c_str();
  wchar_t* end = nullptr;
  bool negative = (*begin == L'-');
  const wchar_t* digits = negative ? begin + 1 : begin;
  if (!*digits || *digits == L'-' || *digits == L'+' || *digits == L' ') return false;
  unsigned long long magnitude = std::wcstoull(digits, &end, (digits[0] == L'0' && (digits[1] == L'x' || digits[1] == L'X')) ? 16 : 10);
  if (end == digits || *end != L'\0') return false;
  *value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
  return true;
}

}  // namespace quillan::standin
