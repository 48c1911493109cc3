#ifndef STANDIN_JOURNAL_H
#define STANDIN_JOURNAL_H

// Test support of the stand-in host: a journal of host calls in call order,
// and faults injected into chosen calls.

#include <maya/MTypes.h>

#include <string>
#include <string_view>
#include <vector>

namespace standin {

// One host call. `operation` is the host API name, such as
// "MFnMesh::create", "MGlobal::executeCommand", "MFnDependencyNode::findPlug"
// or "MFnDependencyNode::attach" (attaching a function set to an object), a
// text of the stand-in's own that lasts as long as the stand-in is loaded;
// `detail` names what the call was about: the command text, the node type
// created, the attribute looked up, the name added to a selection list;
// `arguments` renders the call's other arguments, such as
// "displayEnabled=false undoEnabled=false".
struct JournalEntry {
    std::string_view operation;
    std::string detail;
    std::string arguments;
    bool succeeded;
};

OPENMAYA_EXPORT const std::vector<JournalEntry>& journal();
OPENMAYA_EXPORT void clearJournal();

// A fault makes matching host calls fail. Every field that is not empty must
// match: `operation` the journal's operation name, `text` a prefix of the
// call's detail (command text, name added), `nodeType` the type of the node
// that the call creates or works on, `attribute` the attribute looked up.
// With `occurrence` N > 0 only the Nth matching call fails; with 0, every one.
struct Fault {
    std::string operation;
    std::string text;
    std::string nodeType;
    std::string attribute;
    unsigned int occurrence = 0;
};

OPENMAYA_EXPORT void injectFault(const Fault& fault);
OPENMAYA_EXPORT void clearFaults();

}  // namespace standin

#endif
