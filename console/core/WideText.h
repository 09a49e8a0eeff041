// UTF-8 text to the UTF-16 the Windows API takes, and back. Windows only.
#pragma once

#include <string>

namespace kestrune {

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

}  // namespace kestrune
