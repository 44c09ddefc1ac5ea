#include "iximage/interfaces/error.h"

#include <cstdarg>
#include <cstdio>

namespace ixUtil {

Error::Error(int errorCode, const char* format, ...) : code(errorCode) {
    if (!format) return;
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length > 0) {
        message.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(&message[0], message.size(), format, args);
        message.resize(static_cast<size_t>(length));
    }
    va_end(args);
}

Error::~Error() = default;

}  // namespace ixUtil
