// Notices at "Menu": what keeps going wrong for the whole run and only the
// user can mend (the table cannot be saved where Tovira lies, the network
// helper cannot start) is shown once in a balloon at the button and kept in
// its tool tip, after the tip of the design, until it is cleared.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "controls/controls.h"
#include "platform/platform.h"

namespace tovira {

class MenuNotices {
public:
    enum class Notice : std::uint8_t { ConfigNotSaved, HelperCannotStart };

    // What the notices show on.
    struct Uses {
        platform::Platform& platform;  // the balloon
        CommandButton& Command2;       // "Menu": the balloon's place, its tool tip
    };

    // Takes the design's tool tip of "Menu" as the one the notices follow.
    explicit MenuNotices(const Uses& uses);

    // Shows `text` in a balloon at "Menu" and keeps it in the tool tip. A
    // notice already shown only has its text brought up to date.
    void show(Notice which, std::string text);
    void clear(Notice which);
    bool showing(Notice which) const { return !texts_[index(which)].empty(); }

private:
    static std::size_t index(Notice which) { return static_cast<std::size_t>(which); }
    void update_tip();

    Uses f_;
    std::string design_tip_;
    std::array<std::string, 2> texts_;
};

}  // namespace tovira
