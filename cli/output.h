// What a command prints as its result: lines of text for a person, or with --json one JSON
// object per result on one line of stdout. Progress and failures go to stderr.
#pragma once

#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

class Output {
public:
    Output(std::ostream& out, bool json) : out_(out), json_(json) {}
    bool json() const { return json_; }

    // One result: `data` (with "command" and "ok" first) in JSON mode, else `text` as it stands
    // (a final newline is added when missing).
    void result(const Json& data, const std::string& text)
    {
        if (json_) {
            out_ << data.dump() << '\n';
        } else if (!text.empty()) {
            out_ << text;
            if (text.back() != '\n') out_ << '\n';
        }
        out_.flush();
    }

private:
    std::ostream& out_;
    bool json_;
};

// A result object that starts with the command's name and ok: true.
inline Json result_object(const std::string& command)
{
    Json j;
    j["command"] = command;
    j["ok"] = true;
    return j;
}
