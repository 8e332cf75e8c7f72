#include "platform/SwayHotKeys.h"

#include <algorithm>
#include <map>
#include <sstream>
#include <stdexcept>

#include "platform/SwayIpc.h"
#include "platform/TextCase.h"

namespace wl {

namespace {

// "Control+W", "ctrl+w" and "w+Ctrl" all name the same combo: modifiers sorted, lower case.
std::string Normalised(const std::string& combo) {
    std::vector<std::string> parts;
    std::stringstream in(combo);
    for (std::string part; std::getline(in, part, '+');) {
        part = LowerText(part);
        if (part == "control") part = "ctrl";
        parts.push_back(part);
    }
    std::sort(parts.begin(), parts.end());
    std::string joined;
    for (const auto& part : parts) joined += part + "+";
    return joined;
}

// `$name` words replaced by what `set $name value` lines gave them.
std::string Expanded(std::string combo, const std::map<std::string, std::string>& variables) {
    for (const auto& [name, value] : variables) {
        for (std::size_t at; (at = combo.find(name)) != std::string::npos;)
            combo.replace(at, name.size(), value);
    }
    return combo;
}

std::string ComboOfBindsym(std::istringstream& words) {
    std::string word;
    while (words >> word) {
        if (word.rfind("--", 0) != 0) return word;
    }
    return "";
}

}  // namespace

SwayHotKeys::SwayHotKeys(std::string socketPath, std::function<std::string(int id)> command)
    : FSocket(std::move(socketPath)), FCommand(std::move(command)) {
    Provides(THotKeyWay::SwayBindings);
    SwayRequest(FSocket, SwayMessage::GetVersion, "");
}

SwayHotKeys::~SwayHotKeys() {
    try {
        Unregister();
    } catch (...) {
    }
}

std::string SwayHotKeys::Combo(char32_t c) {
    const char key = LatinKey(c);
    return key ? "Ctrl+" + std::string(1, key) : "";
}

bool SwayHotKeys::ConfigBinds(const std::string& config, const std::string& combo) {
    const std::string wanted = Normalised(combo);
    std::map<std::string, std::string> variables;
    std::istringstream lines(config);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == "set") {
            std::string name, value;
            if (words >> name >> value && name.rfind('$', 0) == 0) variables[name] = value;
            continue;
        }
        if (first != "bindsym") continue;
        if (Normalised(Expanded(ComboOfBindsym(words), variables)) == wanted) return true;
    }
    return false;
}

std::vector<int> SwayHotKeys::Register(const HotKeyChars& keys) {
    std::string config;
    try {
        config = SwayConfigText(SwayRequest(FSocket, SwayMessage::GetConfig, ""));
    } catch (const std::exception& e) {
        Failed(true);
        Report(std::string("HotKey.Register: ") + e.what() + ", no hot keys");
        return {};
    }
    std::vector<int> registered;
    bool refused = false;
    for (int id = 0; id < static_cast<int>(keys.size()); ++id) {
        if (keys[id] == 0) continue;
        const std::string combo = Combo(keys[id]);
        if (combo.empty()) {
            Report("HotKey.Register: key " + std::to_string(id) + " has no key sway can bind, skipped");
            continue;
        }
        if (ConfigBinds(config, combo)) {
            Report("HotKey.Register: " + combo + " is bound in sway's configuration already, skipped");
            continue;
        }
        try {
            SwayRunCommand(FSocket, "bindsym --no-repeat " + combo + " exec " + FCommand(id));
        } catch (const std::exception& e) {
            Report(std::string("HotKey.Register: ") + e.what());
            refused = true;
            continue;
        }
        FBound.push_back(combo);
        registered.push_back(id);
    }
    // Keys left to the user's own bindings are no failure; sway refusing every one is.
    Failed(refused && registered.empty());
    return registered;
}

void SwayHotKeys::Unregister() {
    for (const auto& combo : FBound) {
        try {
            SwayRunCommand(FSocket, "unbindsym " + combo);
        } catch (const std::exception& e) {
            Report(std::string("HotKey.Unregister: ") + e.what());
        }
    }
    FBound.clear();
}

}  // namespace wl
