#ifndef MGLOBAL_H
#define MGLOBAL_H

#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

STANDIN_NAMESPACE_OPEN

class OPENMAYA_EXPORT MGlobal {
public:
    // Runs a command given as text. The stand-in host understands only the
    // command forms that the importer issues and fails on any other text.
    static MStatus executeCommand(const MString& command, MString& result, bool displayEnabled = false,
                                  bool undoEnabled = false);
};

STANDIN_NAMESPACE_CLOSE

#endif
