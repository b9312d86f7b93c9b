#pragma once
#include <string>

namespace parlet {

// A modal message box with an OK button only and the application's title; returns when the user
// has closed it. Timers keep ticking meanwhile.
class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    virtual void MsgBox(const std::string &text) = 0;
};

} // namespace parlet
