#ifndef MSTATUS_H
#define MSTATUS_H

#include <maya/MTypes.h>

STANDIN_NAMESPACE_OPEN

class OPENMAYA_EXPORT MStatus {
public:
    enum MStatusCode {
        kSuccess = 0,
        kFailure,
        kInsufficientMemory,
        kInvalidParameter,
        kLicenseFailure,
        kUnknownParameter,
        kNotImplemented,
        kNotFound,
        kEndOfFile
    };

    MStatus() : fCode(kSuccess) {}
    MStatus(MStatusCode code) : fCode(code) {}
    MStatus(const MStatus& other) : fCode(other.fCode) {}
    MStatus& operator=(const MStatus& other)
    {
        fCode = other.fCode;
        return *this;
    }

    bool operator==(const MStatus& other) const { return fCode == other.fCode; }
    bool operator==(MStatusCode code) const { return fCode == code; }
    bool operator!=(const MStatus& other) const { return fCode != other.fCode; }
    bool operator!=(MStatusCode code) const { return fCode != code; }
    operator bool() const { return fCode == kSuccess; }
    bool error() const { return fCode != kSuccess; }
    MStatusCode statusCode() const { return fCode; }

private:
    MStatusCode fCode;
};

STANDIN_NAMESPACE_CLOSE

#endif
