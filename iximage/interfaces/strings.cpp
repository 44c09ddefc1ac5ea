#include "iximage/interfaces/strings.h"

namespace ixString {

IString::~IString() = default;

const char* IString::asMultibyte(int encoding, bool* ok) const {
    if (ok) *ok = (encoding == kMultibyte);
    return text.c_str();
}

}  // namespace ixString

namespace ixOS {

Filename::~Filename() = default;

}  // namespace ixOS
