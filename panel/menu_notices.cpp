#include "panel/menu_notices.h"

#include <utility>

namespace tovira {

MenuNotices::MenuNotices(const Uses& uses) : f_(uses), design_tip_(uses.Command2.tooltip()) {}

void MenuNotices::show(Notice which, std::string text) {
    if (text.empty()) return;
    std::string& kept = texts_[index(which)];
    const bool fresh = kept.empty();
    kept = std::move(text);
    update_tip();
    if (fresh) f_.platform.show_balloon(f_.Command2.id(), kept, platform::kNoticeBalloonMs);
}

void MenuNotices::clear(Notice which) {
    std::string& kept = texts_[index(which)];
    if (kept.empty()) return;
    kept.clear();
    update_tip();
}

void MenuNotices::update_tip() {
    // One notice a line, below the design's tip.
    std::string tip = design_tip_;
    for (const std::string& text : texts_) {
        if (!text.empty()) tip += "\n" + text;
    }
    f_.Command2.set_tooltip(tip);
}

}  // namespace tovira
