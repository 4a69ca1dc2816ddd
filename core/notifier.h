#pragma once
// Tells the user of a failure: on Windows a modal message box with an OK button.

#include <string>

namespace kavrel {

class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void Show(const std::wstring& text) = 0;
};

} // namespace kavrel
