// The host's command language, reduced to the four command forms that
// shading networks are built with. Anything else is refused rather than
// guessed at, so an importer that sends a different text finds out.

#include "Host.h"

#include <maya/MGlobal.h>

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string_view>

namespace standin {
namespace {

struct Command {
    enum class Kind { MakeNode, ForceElement };
    Kind kind;
    const char* nodeType = "";    // MakeNode
    const char* namePrefix = "";  // MakeNode
    std::string setName;          // ForceElement
    std::string member;           // ForceElement
};

// Views of the words of a command text, which outlives them.
using Words = std::vector<std::string_view>;

// Blank-separated words, without the ";" that may end the text. Any other
// ";" stays inside a word, where it matches no command word and no node
// name, so a text of several commands is refused.
Words words(std::string_view text) {
    text = text.substr(0, text.find_last_not_of(' ') + 1);
    if (!text.empty() && text.back() == ';') text.remove_suffix(1);
    Words result;
    result.reserve(6);  // the most that any command form has
    std::string_view::size_type start = text.find_first_not_of(' ');
    while (start != std::string_view::npos) {
        const std::string_view::size_type end = text.find(' ', start);
        result.push_back(text.substr(start, end - start));
        start = text.find_first_not_of(' ', end);
    }
    return result;
}

bool are(const Words& w, std::initializer_list<std::string_view> expected) {
    return std::equal(w.begin(), w.end(), expected.begin(), expected.end());
}

std::optional<Command> parse(const std::string& text) {
    const Words w = words(text);
    if (are(w, {"shadingNode", "-asTexture", "file"})) {
        return Command{Command::Kind::MakeNode, "file", "file", {}, {}};
    }
    if (are(w, {"shadingNode", "-asShader", "lambert"})) {
        return Command{Command::Kind::MakeNode, "lambert", "lambert", {}, {}};
    }
    // The sets command names its sets "set" + number, whatever their type.
    if (are(w, {"sets", "-renderable", "true", "-noSurfaceShader", "true", "-empty"})) {
        return Command{Command::Kind::MakeNode, "shadingEngine", "set", {}, {}};
    }
    if (w.size() == 5 && w[0] == "sets" && w[1] == "-e" && w[2] == "-forceElement") {
        return Command{Command::Kind::ForceElement, "", "", std::string(w[3]), std::string(w[4])};
    }
    return std::nullopt;
}

// A transform stands for its mesh shapes, as it does when the host assigns
// materials.
std::vector<NodeId> shapesOf(const Node& member) {
    if (member.type == "mesh") return {member.id};
    std::vector<NodeId> shapes;
    if (member.type != "transform") return shapes;
    for (NodeId child : currentScene().children(member.id)) {
        if (findNode(child)->type == "mesh") shapes.push_back(child);
    }
    return shapes;
}

// A shape belongs to one shading group at a time: forcing it into one takes
// it out of any other.
MStatus forceElement(const Command& command) {
    const Node* set = resolveName(command.setName);
    const Node* member = resolveName(command.member);
    if (!set || set->type != "shadingEngine" || !member) return MStatus::kFailure;
    const NodeId setId = set->id;
    const std::vector<NodeId> shapes = shapesOf(*member);
    if (shapes.empty()) return MStatus::kFailure;
    SceneState& scene = sceneState();
    for (NodeId shape : shapes) {
        const auto [group, fresh] = scene.shadingGroupOf.try_emplace(shape, setId);
        if (!fresh) {
            if (group->second == setId) continue;
            std::vector<NodeId>& left = findNode(group->second)->members;
            left.erase(std::remove(left.begin(), left.end(), shape), left.end());
            group->second = setId;
        }
        findNode(setId)->members.push_back(shape);
    }
    return MStatus::kSuccess;
}

CallNames typesWorkedOn(const std::optional<Command>& command) {
    if (!command) return {};
    if (command->kind == Command::Kind::MakeNode) return {command->nodeType};
    return typesOf(resolveName(command->setName));
}

std::string flags(bool displayEnabled, bool undoEnabled) {
    std::string text;
    text.reserve(40);
    text.append("displayEnabled=").append(displayEnabled ? "true" : "false");
    text.append(" undoEnabled=").append(undoEnabled ? "true" : "false");
    return text;
}

}  // namespace
}  // namespace standin

MStatus MGlobal::executeCommand(const MString& command, MString& result, bool displayEnabled,
                                bool undoEnabled) {
    using standin::Command;
    const std::optional<Command> parsed = standin::parse(standin::StringAccess::text(command));
    standin::HostCall call{
        "MGlobal::executeCommand",
        standin::StringAccess::text(command),
        standin::flags(displayEnabled, undoEnabled),
        standin::typesWorkedOn(parsed),
        {}};
    return standin::journaled(std::move(call), [&]() -> MStatus {
        if (!parsed) return MStatus::kFailure;
        if (parsed->kind == Command::Kind::ForceElement) {
            const MStatus status = standin::forceElement(*parsed);
            if (status) result = MString();
            return status;
        }
        result = standin::StringAccess::fromText(standin::addNode(parsed->nodeType, parsed->namePrefix).name);
        return MStatus::kSuccess;
    });
}
