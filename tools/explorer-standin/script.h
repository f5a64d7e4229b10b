// The stand-in's script language: one step per line (or several separated by ';'), words separated by
// blanks, "double quotes" around words with blanks ("" inside quotes is one quote; backslashes are
// plain characters, so Windows paths need no escaping), '#' at the start of a word comments out the
// rest of the line. Words starting with -- (outside quotes) before a lone -- are options: --name or
// --name=value.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace quillan::standin {

struct Step {
  int line = 0;                                   // 1-based line of the script it came from
  std::wstring verb;                              // lower case
  std::vector<std::wstring> args;                 // the words after the verb that are not options
  std::map<std::wstring, std::wstring> options;   // option name (lower case) -> value ("" for a flag)

  bool Has(const std::wstring& name) const { return options.count(name) != 0; }
  std::wstring Option(const std::wstring& name, const std::wstring& fallback = std::wstring()) const;
  // False when the option is present but not a number; *value keeps fallback when it is absent.
  bool IntOption(const std::wstring& name, long long fallback, long long* value) const;
  // The step written back as one line, for messages.
  std::wstring Text() const;
};

// The verbs a script may use.
bool IsKnownVerb(const std::wstring& verb);

// Splits a script into steps. On a syntax error returns false with a message naming the line.
bool ParseScript(const std::wstring& text, std::vector<Step>* steps, std::wstring* error);

// Reads a script file: UTF-8 (with or without a byte-order mark) or UTF-16LE with its mark.
bool ReadScriptFile(const std::wstring& path, std::wstring* text);

// A number in decimal, 0x hexadecimal or with a leading minus; false for anything else.
bool ParseNumber(const std::wstring& text, long long* value);

}  // namespace quillan::standin
