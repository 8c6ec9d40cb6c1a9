#pragma once
#include <string>

namespace kelvo::cli {
// The English text source (the format of app/language/*.txt).
const char* EnglishTextSource();
// Text number n in English; empty when the source has none.
std::wstring EnglishText(int number);
} // namespace kelvo::cli
