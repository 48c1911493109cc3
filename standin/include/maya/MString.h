#ifndef MSTRING_H
#define MSTRING_H

#include <maya/MStatus.h>
#include <maya/MTypes.h>

#include <string>

namespace standin {
class StringAccess;
}

STANDIN_NAMESPACE_OPEN

// Text. As the host's, the char* forms take and give it in the locale's
// multibyte encoding: on Windows the process code page, elsewhere UTF-8,
// which the stand-in holds it in. Where the code page is UTF-8 too, bytes
// pass unchanged, also those that form no UTF-8. Devkits from 2011 on add
// forms in UTF-8 and in wide characters, whatever the locale.
class OPENMAYA_EXPORT MString {
public:
    MString();
    MString(const char* charString);
    MString(const char* charString, int charLength);
    MString(const MString& other);
    ~MString();

    MString& operator=(const MString& other);
    MString& operator=(const char* other);
    MString& operator+=(const MString& other);
    MString& operator+=(const char* other);
    bool operator==(const MString& other) const;
    bool operator==(const char* other) const;
    bool operator!=(const MString& other) const;
    bool operator!=(const char* other) const;

    const char* asChar() const;
#if MAYA_API_VERSION >= 201100
    const char* asUTF8() const;
    const wchar_t* asWChar() const;
    MStatus setUTF8(const char* utf8String);
#endif
    unsigned int length() const;

private:
    friend class ::standin::StringAccess;
    std::string fText;
    // What asChar and asWChar gave, kept as long as the text is.
    mutable std::string fLocaleText;
    mutable std::wstring fWideText;
};

OPENMAYA_EXPORT MString operator+(const MString& left, const MString& right);
OPENMAYA_EXPORT MString operator+(const MString& left, const char* right);
OPENMAYA_EXPORT MString operator+(const char* left, const MString& right);

STANDIN_NAMESPACE_CLOSE

#endif
