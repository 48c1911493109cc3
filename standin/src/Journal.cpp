#include "Host.h"

#include <standin/Journal.h>

#include <algorithm>
#include <utility>

namespace standin {
namespace {

struct ActiveFault {
    Fault fault;
    unsigned int matches = 0;
};

std::vector<JournalEntry>& entries() {
    static std::vector<JournalEntry> journalEntries;
    return journalEntries;
}

std::vector<ActiveFault>& faults() {
    static std::vector<ActiveFault> activeFaults;
    return activeFaults;
}

bool fieldMatches(const std::string& wanted, const CallNames& actual) {
    return wanted.empty() || actual.contains(wanted);
}

bool matches(const Fault& fault, const HostCall& call) {
    return (fault.operation.empty() || fault.operation == call.operation) &&
           call.detail.compare(0, fault.text.size(), fault.text) == 0 &&
           fieldMatches(fault.nodeType, call.nodeTypes) && fieldMatches(fault.attribute, call.attributes);
}

}  // namespace

const std::vector<JournalEntry>& journal() {
    return entries();
}

void clearJournal() {
    entries().clear();
}

void injectFault(const Fault& fault) {
    faults().push_back({fault, 0});
}

void clearFaults() {
    faults().clear();
}

bool failedByFault(const HostCall& call) {
    bool failed = false;
    for (ActiveFault& active : faults()) {
        if (!matches(active.fault, call)) continue;
        ++active.matches;
        const unsigned int occurrence = active.fault.occurrence;
        failed = failed || occurrence == 0 || occurrence == active.matches;
    }
    return failed;
}

void record(HostCall call, bool succeeded) {
    entries().push_back({call.operation, std::move(call.detail), std::move(call.arguments), succeeded});
}

}  // namespace standin
