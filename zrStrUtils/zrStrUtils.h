// zrStrUtils: text routines that take apart log lines, registry paths, font
// specs and command lines. Texts are single-byte ANSI; positions are 1-based,
// 0 meaning "not found".
#pragma once

#include <bitset>
#include <string>

// A set of byte values, used for delimiters and switch introducers.
using TCharSet = std::bitset<256>;
TCharSet CharSet(const std::string& chars);  // the set of the bytes of chars

// ------------------------------------------------------------- StrUtils.cpp
std::string StrReplaceAll(const std::string& s, const std::string& oldText, const std::string& newText);
std::string StrRemoveChar(const std::string& s, char c);
std::string StrRemoveSpaces(const std::string& s);
std::string StrPadLeft(char c, const std::string& s, int width);
std::string StrBeforeChar(const std::string& s, char c);
std::string StrAfterChar(const std::string& s, char c);
std::string NamePart(const std::string& line);   // text before the first "="
std::string ValuePart(const std::string& line);  // text after the first "="
std::string StrToOem(const std::string& s);

// ---------------------------------------------------------------- Words.cpp
int CountWords(const std::string& s, const TCharSet& delims);
int WordStart(int n, const std::string& s, const TCharSet& delims);
std::string GetWord(int n, const std::string& s, const TCharSet& delims);
bool HasWord(const std::string& w, const std::string& s, const TCharSet& delims, bool caseSensitive);
// Field n of s, quote-aware: "..." and '...' protect delimiters.
std::string GetField(int n, const std::string& s, const TCharSet& delims);
std::string Unquote(const std::string& s, char q);

// ----------------------------------------------------------- Numbers.cpp
// The integer parser: leading blanks, one optional sign, decimal digits, or
// "$" and hexadecimal digits (32 bits taken as a bit pattern); nothing may
// follow. False on any failure, value untouched.
bool TryStrToInt(const std::string& s, int& value);
int StrToIntDef(const std::string& s, int def);
std::string IntToHexText(int value, int digits);
int HexToIntDef(const std::string& s);
std::string IntToBaseStr(int value, int width, int base);
unsigned long StrToDWordDef(const std::string& s, unsigned long def);
std::string DWordToStr(unsigned long value);

// ----------------------------------------------------------- Switches.cpp
// Command-line arguments 1..n, split as the C run-time splits them.
bool FindSwitch(const std::string& name, const TCharSet& introducers, bool ignoreCase);
bool HasSwitch(const std::string& name);  // introducers "-" and "/", case ignored
// The splitter FindSwitch uses, open for tests: argument 0 is the program.
std::string ParamStr(const std::string& commandLine, int index);
int ParamCount(const std::string& commandLine);

// ---------------------------------------------------------------- (header only)
// One of two values by a condition; the values are integers or strings.
template <typename T>
T ChooseVariant(bool cond, const T& a, const T& b) { return cond ? a : b; }
