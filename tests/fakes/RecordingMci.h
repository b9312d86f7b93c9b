#pragma once
#include "platform/Mci.h"

#include <map>
#include <string>
#include <vector>

namespace parlet::fakes {

// The MCI strings exactly as sent. Each command answers as scripted (code 0 and an empty reply
// when not), and a code has a text only when one is given.
struct RecordingMci final : Mci {
    using Answer = std::pair<MMRESULT, std::string>; // code, reply
    std::vector<std::string> commands;
    std::map<std::string, Answer> answers;
    std::map<MMRESULT, std::string> errorTexts;

    MMRESULT mciSendStringA(const std::string &command, std::string *returnString, unsigned length,
                            std::uintptr_t) override {
        commands.push_back(command);
        const Answer answer = answers.count(command) ? answers[command] : Answer{};
        if (returnString)
            *returnString = answer.first ? "" : answer.second.substr(0, length - 1);
        return answer.first;
    }
    bool mciGetErrorStringA(MMRESULT error, std::string &text, unsigned) override {
        text = errorTexts.count(error) ? errorTexts[error] : "";
        return errorTexts.count(error);
    }
};

} // namespace parlet::fakes
