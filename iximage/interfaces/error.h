// Error values. The library reports failures of the lighting object through an Error of code 1
// with a fixed message; image operations fail silently (see iximage/image/).
#pragma once

#include <string>

#include "iximage/interfaces/export.h"

namespace ixUtil {

class IXIMAGE_API Error {
public:
    // No error: code 0 and an empty message.
    Error() = default;

    // An error with a printf-style message. The formatted text is kept in full (no fixed limit).
    Error(int code, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;

    Error(const Error&) = default;
    Error& operator=(const Error&) = default;
    virtual ~Error();

    int getCode() const { return code; }
    const std::string& getMessage() const { return message; }
    bool isError() const { return code != 0; }

private:
    int code = 0;
    std::string message;
};

}  // namespace ixUtil
