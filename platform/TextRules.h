#pragma once

#include <string>
#include <string_view>

namespace platform {

// Bytes of the UTF-8 sequence a lead byte opens; 1 for a byte that opens none, so broken
// text is walked byte by byte.
size_t Utf8SequenceLength(unsigned char lead);

// The first `characters` characters of UTF-8 text (the whole text when it is shorter).
std::string_view Utf8Left(std::string_view text, size_t characters);

// The characters 0-9 of a text, in order.
std::string DigitsOnly(std::string_view text);

std::string_view Trim(std::string_view text);
std::string_view TrimLeft(std::string_view text);
std::string_view TrimRight(std::string_view text);

// Case folding for names the system compares without case (INI sections and keys, file
// names): ASCII and the Latin letters of Windows-1252, so "SÃO" and "são" are equal.
std::string FoldCase(std::string_view utf8);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// The accent folding of city names: only the letters of the fold table lose their accents
// (Å, Ø, Ý and ý are kept as they are).
std::string FoldAccents(std::string_view utf8);

// Upper case by the rules of the Windows-1252 code page (š, œ, ž and ÿ included).
std::string UpperCp1252(std::string_view utf8);

// Every occurrence of `from`, matched without case as FoldCase does, replaced by `to`.
std::string ReplaceIgnoringCase(std::string_view text, std::string_view from, std::string_view to);

// City key of a name: accents folded, upper case, every blank removed.
// "São Bernardo do Campo" gives "SAOBERNARDODOCAMPO".
std::string CityKey(std::string_view utf8);

} // namespace platform
