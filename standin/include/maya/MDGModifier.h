#ifndef MDGMODIFIER_H
#define MDGMODIFIER_H

#include <maya/MPlug.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

#include <vector>

STANDIN_NAMESPACE_OPEN

// Queues connections and makes them all at doIt.
class OPENMAYA_EXPORT MDGModifier {
public:
    MDGModifier();
    virtual ~MDGModifier();

    MStatus connect(const MPlug& source, const MPlug& destination);
    MStatus doIt();

private:
    MDGModifier(const MDGModifier&) = delete;
    MDGModifier& operator=(const MDGModifier&) = delete;

    struct QueuedConnection {
        MPlug source;
        MPlug destination;
    };
    std::vector<QueuedConnection> fQueue;
};

STANDIN_NAMESPACE_CLOSE

#endif
