#include "ui/model/dialogs.h"

#include <vector>

namespace kellix {

namespace {

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ' || c == ';') {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    return words;
}

} // namespace

std::string DialogFilter(const std::string& filter) {
    const std::size_t bar = filter.find('|');
    if (bar == std::string::npos) {
        return filter;
    }
    std::string description = filter.substr(0, bar);
    std::vector<std::string> patterns;
    const std::size_t open = description.rfind('(');
    const std::size_t close = description.rfind(')');
    if (open != std::string::npos && close != std::string::npos && open < close) {
        patterns = Words(description.substr(open + 1, close - open - 1));
        description.erase(open);
        while (!description.empty() && description.back() == ' ') {
            description.pop_back();
        }
    }
    for (const std::string& p : Words(filter.substr(bar + 1))) {
        bool known = false;
        for (const std::string& q : patterns) {
            known = known || q == p;
        }
        if (!known) {
            patterns.push_back(p);
        }
    }
    std::string out = description + " (";
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        out += (i ? " " : "") + patterns[i];
    }
    return out + ")";
}

std::string DialogSuffix(const std::string& defaultExt) {
    std::size_t start = 0;
    while (start < defaultExt.size() && (defaultExt[start] == '*' || defaultExt[start] == '.')) {
        ++start;
    }
    return defaultExt.substr(start);
}

} // namespace kellix
