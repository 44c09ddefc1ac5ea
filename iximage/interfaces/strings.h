// Strings and file names of the base library.
#pragma once

#include <string>

#include "iximage/interfaces/export.h"

namespace ixString {

// A text string that can hand out its characters in a chosen encoding.
class IXIMAGE_API IString {
public:
    // Encoding 0 is the platform's multibyte encoding (UTF-8 here); it is the only one offered.
    enum Encoding { kMultibyte = 0 };

    IString() = default;
    IString(const char* text) : text(text ? text : "") {}
    IString(std::string value) : text(std::move(value)) {}
    IString(const IString&) = default;
    IString& operator=(const IString&) = default;
    virtual ~IString();

    // The text as a multibyte string. *ok (when given) is set to false for an unknown
    // encoding, and the text is still returned unchanged.
    const char* asMultibyte(int encoding = kMultibyte, bool* ok = nullptr) const;

    const std::string& str() const { return text; }
    bool isEmpty() const { return text.empty(); }

protected:
    std::string text;
};

// A growable C string used to build file names.
class IXIMAGE_API CString {
public:
    CString() = default;
    CString(const char* value) : text(value ? value : "") {}
    const char* asChar() const { return text.c_str(); }
    CString& plusEqual(const char* suffix) {
        if (suffix) text += suffix;
        return *this;
    }

private:
    std::string text;
};

}  // namespace ixString

namespace ixOS {

// A file path.
class IXIMAGE_API Filename : public ixString::IString {
public:
    Filename() = default;
    Filename(const char* path) : IString(path) {}
    Filename(std::string path) : IString(std::move(path)) {}
    Filename(const Filename&) = default;
    Filename& operator=(const Filename&) = default;
    ~Filename() override;
};

}  // namespace ixOS
